#include "postlink/postlink_result.h"

#include <cstring>
#include <type_traits>

namespace tarvoline::postlink {

std::string SystemErrorText(int error) {
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer; the XSI one
    // returns an int. Handle both so the code builds with either.
    auto text = strerror_r(error, buffer, sizeof buffer);
    if constexpr (std::is_same_v<decltype(text), char*>) {
        return text ? std::string(text) : std::string(buffer);
    } else {
        return std::string(buffer);
    }
}

std::string DescribePostLinkResult(PostLinkResult result, bool isSystemError) {
    if (isSystemError) {
        return SystemErrorText(result);
    }
    switch (result) {
        case kPostLinkDone:
            return "done";
        case kPostLinkOutOfMemory:
            return "not enough memory";
        case kPostLinkCannotOpenBin:
            return "the .Bin file cannot be opened";
        case kPostLinkResourceMissing:
            return "CODE 0, CODE 1 or DATA 0 is missing";
        case kPostLinkNoSignature:
            return "the image header signature is not in the image";
        case kPostLinkNoConfiguration:
            return "no such configuration";
        case kPostLinkMalformedBin:
            return "the .Bin file is malformed";
        default:
            return SystemErrorText(result);
    }
}

}  // namespace tarvoline::postlink
