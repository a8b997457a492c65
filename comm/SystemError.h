#pragma once
// The system's description of an error number, for messages shown to the user.

#include <string>

#include "CommTypes.h"

std::string FormatSystemMessage(DWORD error);
