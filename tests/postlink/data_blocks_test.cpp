// The data-block commands of DATA 0, one form at a time.

#include <gtest/gtest.h>

#include "bin_writer.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

// The default program: 640 bytes of code, 64 below A5 and 64 above, so the A5 world is image
// offsets 640 to 767 and the A5 position is 704.
constexpr std::size_t kWorldStart = 640;
constexpr std::size_t kWorldSize = 128;
constexpr std::int32_t kFromWorldStart = -64;

struct CommandCase {
    const char* name;
    Bytes commands;  // after the block's start offset, before its end byte
    Bytes expected;  // the A5 world from its start
};

Bytes Times(int count, std::uint8_t value) {
    return Bytes(static_cast<std::size_t>(count), value);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Bytes Counting(int count, std::uint8_t first) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(first + i));
    }
    return out;
}

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class DataBlockCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DataBlockCommand, ExpandsIntoTheA5World) {
    const CommandCase& c = GetParam();
    Program program;
    program.data0 = Data0Builder()
                        .Block(kFromWorldStart)
                        .Raw(c.commands)
                        .End()
                        .Block(0)
                        .End()
                        .Block(0)
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    Bytes expected = c.expected;
    expected.resize(kWorldSize, 0);
    EXPECT_EQ(ImageBytes(built, kWorldStart, kWorldSize), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DataBlockCommand,
    ::testing::Values(CommandCase{"CopyOne", {0x80, 0x11}, {0x11}},
                      CommandCase{"CopyMost", Join({{0xFF}, Counting(128, 1)}), Counting(128, 1)},
                      CommandCase{"SkipOne", {0x40, 0x80, 0x22}, {0x00, 0x22}},
                      CommandCase{"SkipMost", {0x7F, 0x80, 0x33}, Join({Times(64, 0), {0x33}})},
                      CommandCase{"RepeatFewest", {0x20, 0x44}, {0x44, 0x44}},
                      CommandCase{"RepeatMost", {0x3F, 0x55}, Times(33, 0x55)},
                      CommandCase{"FillFFFewest", {0x10, 0x80, 0x01}, {0xFF, 0x01}},
                      CommandCase{
                          "FillFFMost", {0x1F, 0x80, 0x01}, Join({Times(16, 0xFF), {0x01}})},
                      CommandCase{"SkipFourFFTwoInputTwo",
                                  {0x01, 0xAB, 0xCD},
                                  {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xAB, 0xCD}},
                      CommandCase{"SkipFourFFOneInputThree",
                                  {0x02, 0xAB, 0xCD, 0xEF},
                                  {0x00, 0x00, 0x00, 0x00, 0xFF, 0xAB, 0xCD, 0xEF}},
                      CommandCase{"TrapSkipTwoInputTwoSkipOneInputOne",
                                  {0x03, 0x11, 0x22, 0x33},
                                  {0xA9, 0xF0, 0x00, 0x00, 0x11, 0x22, 0x00, 0x33}},
                      CommandCase{"TrapSkipOneInputThreeSkipOneInputOne",
                                  {0x04, 0x11, 0x22, 0x33, 0x44},
                                  {0xA9, 0xF0, 0x00, 0x11, 0x22, 0x33, 0x00, 0x44}},
                      CommandCase{"EightByteFormsFollowEachOther",
                                  {0x01, 0x01, 0x02, 0x03, 0x11, 0x22, 0x33},
                                  {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x02, 0xA9, 0xF0, 0x00,
                                   0x00, 0x11, 0x22, 0x00, 0x33}},
                      // 0x05 to 0x0F end the block like 0x00: nothing after them is expanded.
                      CommandCase{"EndByte05", {0x80, 0x11, 0x05, 0x80, 0x22}, {0x11}},
                      CommandCase{"EndByte0F", {0x80, 0x11, 0x0F, 0x80, 0x22}, {0x11}}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

// In the cases above the end bytes 0x05 and 0x0F are followed by what the next block header
// would read; make sure the following blocks really start there.
TEST(DataBlocks, EndByteOtherThanZeroStartsTheNextBlock) {
    Program program;
    program.data0 = Data0Builder()
                        .Block(kFromWorldStart)
                        .Copy({0x11})
                        .End(0x07)
                        .Block(kFromWorldStart + 2)
                        .Copy({0x22})
                        .End(0x0C)
                        .Block(kFromWorldStart + 4)
                        .Copy({0x33})
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, kWorldStart, 6), (Bytes{0x11, 0, 0x22, 0, 0x33, 0}));
}

TEST(DataBlocks, SkippedBytesKeepWhatAnEarlierBlockWrote) {
    Program program;
    program.data0 = Data0Builder()
                        .Block(kFromWorldStart)
                        .Copy(Counting(12, 0x10))
                        .End()
                        .Block(kFromWorldStart)
                        .Skip(1)
                        .Copy({0x99})
                        .End()
                        .Block(kFromWorldStart + 4)
                        .Raw({0x03, 0xC1, 0xC2, 0xC3})
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, kWorldStart, 12),
              (Bytes{0x10, 0x99, 0x12, 0x13, 0xA9, 0xF0, 0x16, 0x17, 0xC1, 0xC2, 0x1A, 0xC3}));
}

TEST(DataBlocks, OffsetsCountFromTheA5Position) {
    Program program;  // A5 position 704
    program.data0 = Data0Builder()
                        .Block(0)
                        .Copy({0xA5})
                        .End()
                        .Block(-1)
                        .Copy({0xB5})
                        .End()
                        .Block(63)
                        .Copy({0xE5})
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 703, 2), (Bytes{0xB5, 0xA5}));
    EXPECT_EQ(ImageBytes(built, 767, 1), (Bytes{0xE5}));
}

TEST(DataBlocks, MayWriteOverTheCode) {
    // Nothing stops a block from reaching below the A5 world; only the image bounds count.
    Program program;
    program.data0 = Data0Builder()
                        .Block(-704 + 600)
                        .Copy({0x77})
                        .End()
                        .Block(0)
                        .End()
                        .Block(0)
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 600, 1), (Bytes{0x77}));
}

TEST(DataBlocks, BuilderSplitsLongRuns) {
    Program program;
    program.aboveA5 = 512;
    program.data0 = Data0Builder()
                        .Block(kFromWorldStart)
                        .Copy(Counting(200, 0))
                        .Skip(100)
                        .Repeat(0x5A, 35)
                        .FillFF(20)
                        .End()
                        .Block(0)
                        .End()
                        .Block(0)
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program);
    ASSERT_EQ(built.result, 0) << built.detail;
    const Bytes expected =
        Join({Counting(200, 0), Times(100, 0), Times(35, 0x5A), Times(20, 0xFF)});
    EXPECT_EQ(ImageBytes(built, kWorldStart, expected.size()), expected);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
