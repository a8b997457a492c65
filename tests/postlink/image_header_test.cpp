// The header at the front of the image: per-configuration fields, fixed code and the
// signature search.

#include <gtest/gtest.h>

#include <cstring>

#include "bin_writer.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

Configuration SampleConfiguration(std::uint32_t id) {
    Configuration c;
    c.configId = id;
    c.loadAddress = 0x10000;
    c.codeAddress = 0x20000;
    c.auxWord12 = 0x1234;
    c.dataAddress = 0x30000;
    c.auxWord20 = 0x5000;
    c.stackBase = 0x80000;
    c.stackSize = 0x1000;
    c.watchdogRegister = 0xFFF001;
    return c;
}

Program SampleProgram() {
    Program program;
    program.configurations = {SampleConfiguration(1), SampleConfiguration(2),
                              SampleConfiguration(3)};
    return program;
}

struct HeaderCase {
    int configId;
    std::vector<std::pair<std::size_t, std::uint32_t>> words;  // image offset, value
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << "configuration " << c.configId;
}

class HeaderFields : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderFields, FollowTheConfigurationRules) {
    const HeaderCase& c = GetParam();
    const BuildResult built = BuildProgram(SampleProgram(), c.configId);
    ASSERT_EQ(built.result, 0) << built.detail;
    // Common to all: code 640 bytes, A5 world 64 + 64, image 768.
    const std::vector<std::pair<std::size_t, std::uint32_t>> common = {
        {40, 0x10000},
        {44, 768},
        {52, 640},
        {64, 128},
        {72, 0x80000},
        {76, 0x1000},
        {80, 0},
        {104, 0x10014},
        {108, 0x100B4},
        {112, 0x200},
        {116, 0x1001C},
        {120, 0xFFF001},
        {84, std::uint32_t(c.configId)},
    };
    for (const auto& [offset, value] : common) {
        EXPECT_EQ(WordAt(built.image.bytes.data(), offset), value) << "offset " << offset;
    }
    for (const auto& [offset, value] : c.words) {
        EXPECT_EQ(WordAt(built.image.bytes.data(), offset), value) << "offset " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(Configurations, HeaderFields,
                         ::testing::Values(
                             // 1 runs where it is loaded; AuxWord12 takes the unadjusted AuxWord20.
                             HeaderCase{1,
                                        {{48, 0x10000},
                                         {56, 0x5000},
                                         {60, 0x10280},
                                         {68, 0x4D80},
                                         {88, 0x10300},
                                         {92, 0x4D00},
                                         {96, 0x102C0},
                                         {100, 0x10000}}},
                             HeaderCase{2,
                                        {{48, 0x20000},
                                         {56, 0x1234},
                                         {60, 0x30000},
                                         {68, 0x5000},
                                         {88, 0x30080},
                                         {92, 0x4F80},
                                         {96, 0x30040},
                                         {100, 0x20000}}},
                             HeaderCase{3,
                                        {{48, 0x20000},
                                         {56, 0x1234},
                                         {60, 0x20280},
                                         {68, 0x4D00},
                                         {88, 0x20300},
                                         {92, 0x4C80},
                                         {96, 0x202C0},
                                         {100, 0x20000}}}),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                             return "Configuration" + std::to_string(info.param.configId);
                         });

TEST(ImageHeader, HoldsTheEntryBlockAndStartupRoutineExactly) {
    const BuildResult built = BuildProgram(SampleProgram(), 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    const Bytes entry = {0x60, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x4B, 0xFA,
                         0xFF, 0xF6, 0x20, 0x6D, 0x00, 0x68, 0x4E, 0xE8, 0x00, 0x00,
                         0x20, 0x6D, 0x00, 0x6C, 0x4E, 0xE8, 0x00, 0x00, 0x4E, 0x7A,
                         0x88, 0x01, 0x20, 0x68, 0x00, 0x04, 0x4E, 0xE8, 0x00, 0x00};
    EXPECT_EQ(ImageBytes(built, 0, 40), entry);
    const Bytes startup = {
        0x22, 0x2D, 0x00, 0x54, 0x02, 0x01, 0x00, 0x03, 0x53, 0x01, 0x67, 0x4A, 0x53, 0x01, 0x67,
        0x0E, 0x22, 0x6D, 0x00, 0x28, 0x24, 0x6D, 0x00, 0x30, 0x20, 0x2D, 0x00, 0x2C, 0x60, 0x12,
        0x20, 0x2D, 0x00, 0x30, 0xD0, 0xAD, 0x00, 0x34, 0x22, 0x40, 0x24, 0x6D, 0x00, 0x3C, 0x20,
        0x2D, 0x00, 0x40, 0x56, 0x80, 0xE4, 0x88, 0x26, 0x6D, 0x00, 0x78, 0xB7, 0xFC, 0x00, 0x00,
        0x00, 0x00, 0x67, 0x10, 0x24, 0xD9, 0x16, 0xBC, 0x00, 0x55, 0x16, 0xBC, 0x00, 0xAA, 0x51,
        0xC8, 0xFF, 0xF4, 0x60, 0x06, 0x24, 0xD9, 0x51, 0xC8, 0xFF, 0xFC, 0x20, 0x6D, 0x00, 0x70,
        0x22, 0x2D, 0x00, 0x74, 0x20, 0x2D, 0x00, 0x48, 0xD0, 0xAD, 0x00, 0x4C, 0x2E, 0x40, 0x20,
        0x0D, 0x2A, 0x6D, 0x00, 0x60, 0x2A, 0x80, 0x4F, 0xEF, 0xFF, 0xF4, 0x2E, 0xBC, 0x54, 0x76,
        0x6C, 0x00, 0x43, 0xD7, 0x2F, 0x49, 0x00, 0x04, 0x42, 0xAF, 0x00, 0x08, 0x48, 0x6F, 0x00,
        0x04, 0x3F, 0x3C, 0x00, 0x01, 0x2F, 0x01, 0x4E, 0xD0};
    EXPECT_EQ(ImageBytes(built, 180, 144), startup);
}

TEST(ImageHeader, CarriesExtensionsSignatureAndZeroedReservedWords) {
    const BuildResult built = BuildProgram(SampleProgram(), 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    const Bytes text = ImageBytes(built, 124, 12);
    EXPECT_EQ(std::string(text.begin(), text.end()), ".RUN.REC.XMP");
    EXPECT_EQ(ImageBytes(built, 136, 16), Bytes(16, 0));
    const Bytes signature = ImageBytes(built, 152, 25);
    EXPECT_EQ(std::string(signature.begin(), signature.end() - 1), kSignature);
    EXPECT_EQ(signature.back(), 0);
    EXPECT_EQ(ImageBytes(built, 179, 1), Bytes{0});
}

TEST(ImageHeader, BytesAfterTheSignatureKeepTheirValues) {
    // The signature ends at 175, so 176 on are code until the header covers them; 177 and
    // 178 are not header bytes and keep the code.
    const BuildResult built = BuildProgram(SampleProgram(), 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 177, 2), (Bytes{0xA0 | 17, 0xA0 | 18}));
    EXPECT_EQ(ImageBytes(built, 324, 2), (Bytes{0xA0 | (324 & 31), 0xA0 | (325 & 31)}));
}

TEST(SignatureSearch, ClearsEverythingUpToALateSignature) {
    Program program = SampleProgram();
    program.codePatches = {{152, Bytes(24, 0xA5)}};  // no signature at the usual place
    program.signatureOffset = 330;
    program.tableOffset = 400;
    const BuildResult built = BuildProgram(program, 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 177, 2), (Bytes{0, 0}));
    EXPECT_EQ(ImageBytes(built, 324, 30), Bytes(30, 0));
    EXPECT_EQ(ImageBytes(built, 354, 1), Bytes{0xA0 | (354 & 31)});
}

TEST(SignatureSearch, FirstOccurrenceEndsTheSearch) {
    Program program = SampleProgram();
    const std::string signature = kSignature;
    program.codePatches = {{340, Bytes(signature.begin(), signature.end())}};
    const BuildResult built = BuildProgram(program, 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 340, 24), Bytes(signature.begin(), signature.end()));
}

TEST(SignatureSearch, ExtraOpeningParenthesisHidesTheOccurrence) {
    Program program = SampleProgram();
    program.codePatches = {{151, {'('}}};
    const BuildResult built = BuildProgram(program, 1);
    EXPECT_EQ(built.result, 4);
}

TEST(SignatureSearch, ExtraParenthesisThenALaterOccurrence) {
    Program program = SampleProgram();
    const std::string signature = kSignature;
    program.codePatches = {{151, {'('}}, {340, Bytes(signature.begin(), signature.end())}};
    const BuildResult built = BuildProgram(program, 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    EXPECT_EQ(ImageBytes(built, 324, 40), Bytes(40, 0));
}

TEST(SignatureSearch, MissingSignatureGivesFour) {
    Program program = SampleProgram();
    program.codePatches = {{160, {'X'}}};
    EXPECT_EQ(BuildProgram(program, 1).result, 4);
}

TEST(SignatureSearch, SignatureMayLieInTheDataArea) {
    Program program = SampleProgram();
    program.codePatches = {{152, {'X'}}};
    const std::string signature = kSignature;
    program.data0 = Data0Builder()
                        .Block(-64)
                        .Copy(Bytes(signature.begin(), signature.end()))
                        .Copy({0x42})
                        .End()
                        .Block(0)
                        .End()
                        .Block(0)
                        .End()
                        .EmptyGroup()
                        .EmptyGroup()
                        .Build();
    const BuildResult built = BuildProgram(program, 1);
    ASSERT_EQ(built.result, 0) << built.detail;
    Bytes expected(24, 0);
    expected.push_back(0x42);
    EXPECT_EQ(ImageBytes(built, 640, 25), expected);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
