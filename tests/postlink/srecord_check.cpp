#include "srecord_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// The tools' own warnings other than the missing optional header record.
std::string UnexpectedWarnings(const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    std::string unexpected;
    while (std::getline(lines, line)) {
        if ((line.find("warning") != std::string::npos ||
             line.find("error") != std::string::npos) &&
            line.find("no header record") == std::string::npos) {
            unexpected += line + "\n";
        }
    }
    return unexpected;
}

}  // namespace

void ExpectSRecordFileHolds(const std::string& path, const Bytes& image,
                            std::uint32_t loadAddress) {
    const CommandResult info = RunCommand("srec_info " + ShellQuote(path));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(UnexpectedWarnings(info.output), "") << info.output;

    const std::uint32_t address = loadAddress & 0xFFFFFF;
    const std::string back = path + ".back.bin";
    const CommandResult cat =
        RunCommand("srec_cat " + ShellQuote(path) + " -crop " + Hex(address) + " " +
                   Hex(address + static_cast<std::uint32_t>(image.size())) + " -offset -" +
                   Hex(address) + " -o " + ShellQuote(back) + " -binary");
    ASSERT_EQ(cat.exitCode, 0) << cat.output;
    EXPECT_EQ(UnexpectedWarnings(cat.output), "") << cat.output;
    EXPECT_TRUE(LoadFile(back) == image) << "srec_cat does not give the image back from " << path;
    std::remove(back.c_str());

    const std::uint32_t lineStart = address & ~0xFFu;
    if (lineStart < address) {
        const std::string fill = path + ".fill.bin";
        const CommandResult gap = RunCommand(
            "srec_cat " + ShellQuote(path) + " -crop " + Hex(lineStart) + " " + Hex(address) +
            " -offset -" + Hex(lineStart) + " -o " + ShellQuote(fill) + " -binary");
        ASSERT_EQ(gap.exitCode, 0) << gap.output;
        EXPECT_EQ(LoadFile(fill), Bytes(address - lineStart, 0xFF));
        std::remove(fill.c_str());
    }
}

}  // namespace tarvoline::postlink::testkit
