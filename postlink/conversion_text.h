#pragma once

// What a conversion did, in words, for the front ends to show.

#include <string>

#include "postlink/convert.h"

namespace tarvoline::postlink {

// One line without its configuration prefix: "wrote A, B and C", "no configuration 2",
// "failed: ..." with the file and the system's text where there is one.
std::string DescribeConversion(int configId, const ConversionReport& report);

}  // namespace tarvoline::postlink
