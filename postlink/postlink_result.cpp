#include "postlink/postlink_result.h"

#include "fileio/atomic_file.h"

namespace tarvoline::postlink {

std::string SystemErrorText(int error) {
    return fileio::SystemErrorText(error);
}

std::string DescribePostLinkResult(PostLinkResult result) {
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
        case kPostLinkCannotWriteLoadFile:
            return "the load file cannot be written";
        default:
            return "converter result " + std::to_string(result);
    }
}

}  // namespace tarvoline::postlink
