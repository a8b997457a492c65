// Malformed .Bin files: every truncation, corrupted offsets and out-of-bounds commands give a
// result code and never a crash. These run under AddressSanitizer and UBSan as well.

#include <gtest/gtest.h>

#include <set>

#include "postlink/convert.h"
#include "postlink/resource_fork.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

Program SmallProgram() {
    Program program;
    program.data0 = Data0Builder()
                        .Block(-64)
                        .Copy({1, 2, 3, 4})
                        .Raw({0x01, 5, 6, 0x02, 7, 8, 9, 0x03, 1, 2, 3, 0x04, 1, 2, 3, 4})
                        .End()
                        .Block(0)
                        .Repeat(9, 5)
                        .FillFF(3)
                        .Skip(2)
                        .End()
                        .Block(8)
                        .End()
                        .ListAt({-64, -8, 0, 40})
                        .ListAt({-60})
                        .ListAt({-56})
                        .ListAt({10, 200, 20000 % 600})
                        .ListAt({500})
                        .ListAt({504})
                        .Build();
    return program;
}

Program WithData0(const Data0Builder& data0) {
    Program program;
    program.data0 = data0.Build();
    return program;
}

PostLinkResult Build(const Bytes& file, int configId = 1) {
    return BuildLoadImageFromBin(file, configId).result;
}

TEST(Malformed, SmallProgramIsValid) {
    EXPECT_EQ(Build(WriteBinFile(SmallProgram())), 0);
}

TEST(Malformed, EveryTruncationIsRefused) {
    const Bytes file = WriteBinFile(SmallProgram());
    for (std::size_t length = 0; length < file.size(); ++length) {
        const Bytes cut(file.begin(), file.begin() + length);
        const PostLinkResult result = Build(cut);
        // The map sits at the end and its last four bytes, a handle, are never read.
        if (length >= file.size() - 4) {
            EXPECT_EQ(result, 0) << "length " << length;
        } else {
            EXPECT_TRUE(result == 3 || result == 5 || result == 6)
                << "length " << length << " gave " << result;
        }
    }
}

TEST(Malformed, EveryCorruptedByteGivesACodeAndNoCrash) {
    const Bytes file = WriteBinFile(SmallProgram());
    const std::set<PostLinkResult> allowed = {0, 1, 3, 4, 5, 6};
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes corrupt = file;
            corrupt[at] = value;
            for (int configId : {1, 2}) {
                const PostLinkResult result = Build(corrupt, configId);
                EXPECT_TRUE(allowed.count(result)) << "byte " << at << " = " << int(value);
            }
        }
    }
}

TEST(Malformed, ForkOffsetsOutsideTheFile) {
    const Bytes good = WriteBinFile(SmallProgram());
    for (std::size_t field : {kForkDataAreaOffsetField, kForkMapOffsetField}) {
        for (std::uint32_t value : {0xFFFFFFFFu, 0x7FFFFFFFu, std::uint32_t(good.size())}) {
            Bytes file = good;
            PutBigEndian32(file, field, value);
            EXPECT_EQ(Build(file), 6) << field << " " << value;
        }
    }
}

TEST(Malformed, ResourceLengthPastTheEnd) {
    // DATA 0 is the last resource of the data area, right before the map; claim more bytes.
    Bytes file = WriteBinFile(SmallProgram());
    const ResourceLookup data0 = FindResource(file, kDataType, 0);
    ASSERT_EQ(data0.status, LookupStatus::kFound);
    PutBigEndian32(file, data0.fileOffset - 4, static_cast<std::uint32_t>(file.size()));
    EXPECT_EQ(Build(file), 6);
}

TEST(Malformed, ConfigurationTableOutsideTheFile) {
    // Patched, since the writer would grow the code to reach the table.
    Program valid = SmallProgram();
    valid.codePatches = {{22, {0x7F, 0xFF, 0xFF, 0xF0}}};
    EXPECT_EQ(Build(WriteBinFile(valid)), 6);
}

TEST(Malformed, ConfigurationCountRunningPastTheFile) {
    Program program = SmallProgram();
    program.configurations = {Configuration{}};
    program.configurations[0].configId = 3;
    program.configurationCount = 0x7FFF;
    EXPECT_EQ(Build(WriteBinFile(program), 3), 0);  // found before the count runs out
    EXPECT_EQ(Build(WriteBinFile(program), 1), 6);
}

TEST(Malformed, ConfigurationCountIsTheLowSixteenBitsSigned) {
    Program program = SmallProgram();
    program.configurationCount = 0x00018000;  // low half negative: none
    EXPECT_EQ(Build(WriteBinFile(program)), 5);
    program.configurationCount = 0x12340001;  // low half 1
    EXPECT_EQ(Build(WriteBinFile(program)), 0);
    program.configurationCount = 0;
    EXPECT_EQ(Build(WriteBinFile(program)), 5);
}

TEST(Malformed, NumberOtherThanOneToThreeGivesFive) {
    Program program = SmallProgram();
    program.configurations[0].configId = 4;
    EXPECT_EQ(Build(WriteBinFile(program), 4), 5);
    EXPECT_EQ(Build(WriteBinFile(program), 0), 5);
}

TEST(Malformed, DataBlockReadingPastDataZero) {
    EXPECT_EQ(Build(WriteBinFile(WithData0(Data0Builder().Block(0).Raw({0x85, 1, 2})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(Data0Builder().Block(0).Copy({1})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(Data0Builder().Raw({0, 0})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(Data0Builder().Block(0).Raw({0x20})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(Data0Builder().Block(0).Raw({0x04, 1, 2, 3})))), 6);
}

TEST(Malformed, DataBlockWritingOutsideTheImage) {
    auto blocks = [](std::int32_t offset, const Bytes& commands) {
        return WithData0(Data0Builder()
                             .Block(offset)
                             .Raw(commands)
                             .End()
                             .Block(0)
                             .End()
                             .Block(0)
                             .End()
                             .EmptyGroup()
                             .EmptyGroup());
    };
    EXPECT_EQ(Build(WriteBinFile(blocks(64, {0x80, 1}))), 6);     // at the image's end
    EXPECT_EQ(Build(WriteBinFile(blocks(63, {0x81, 1, 2}))), 6);  // runs over it
    EXPECT_EQ(Build(WriteBinFile(blocks(-705, {0x80, 1}))), 6);   // before its start
    EXPECT_EQ(Build(WriteBinFile(blocks(0x7FFFFFFF, {0x10}))), 6);
    EXPECT_EQ(Build(WriteBinFile(blocks(static_cast<std::int32_t>(0x80000000), {0x10}))), 6);
    EXPECT_EQ(Build(WriteBinFile(blocks(60, {0x01, 1, 2}))), 6);
    // Skipping past the end writes nothing and is harmless.
    EXPECT_EQ(Build(WriteBinFile(blocks(63, {0x7F}))), 0);
    EXPECT_EQ(Build(WriteBinFile(blocks(63, {0x80, 1}))), 0);
}

TEST(Malformed, RelocationOutsideTheImage) {
    using D = Data0Builder;
    auto groups = [](const D& lists) { return WriteBinFile(WithData0(lists)); };
    EXPECT_EQ(Build(groups(D().NoData().ListAt({60}).EmptyList().EmptyList().EmptyGroup())), 0);
    EXPECT_EQ(Build(groups(D().NoData().ListAt({62}).EmptyList().EmptyList().EmptyGroup())), 6);
    EXPECT_EQ(Build(groups(D().NoData().ListAt({-704}).EmptyList().EmptyList().EmptyGroup())), 0);
    EXPECT_EQ(Build(groups(D().NoData()
                               .List(1, D::Step(-64))
                               .List(0, {})
                               .EmptyList()
                               .List(1, D::Step(-1))
                               .EmptyList()
                               .EmptyList())),
              6);
    EXPECT_EQ(
        Build(groups(
            D().NoData().EmptyGroup().List(1, D::SetPosition(0x3FFFFFFF)).EmptyList().EmptyList())),
        6);
    EXPECT_EQ(Build(groups(
                  D().NoData().EmptyGroup().List(1, D::SetPosition(382)).EmptyList().EmptyList())),
              0);
    EXPECT_EQ(Build(groups(
                  D().NoData().EmptyGroup().List(1, D::SetPosition(383)).EmptyList().EmptyList())),
              6);
}

TEST(Malformed, RelocationListRunningPastDataZero) {
    using D = Data0Builder;
    EXPECT_EQ(Build(WriteBinFile(WithData0(D().NoData().List(3, D::Step(1))))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(D().NoData().List(1, {0x40})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(D().NoData().List(1, {0x00, 0x00, 0x01})))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(D().NoData().EmptyGroup().EmptyList()))), 6);
    EXPECT_EQ(Build(WriteBinFile(WithData0(D().NoData().Raw({0, 0, 0})))), 6);
}

TEST(Malformed, ImageShorterThanItsHeader) {
    Program program;
    program.codeSize = 100;
    program.tableOffset = 26;
    program.signatureOffset = 100;
    program.aboveA5 = 0;
    program.belowA5 = 0;
    const Bytes code1 = MakeCode1(program);
    ASSERT_LT(code1.size(), 324u);
    program.aboveA5 = static_cast<std::uint32_t>(323 - code1.size());
    EXPECT_EQ(Build(WriteBinFile(program)), 6);
    program.aboveA5 += 1;
    EXPECT_EQ(Build(WriteBinFile(program)), 0);
}

TEST(Malformed, ShortImageIsRefusedBeforeTheConfigurationRules) {
    Program program;
    program.codeSize = 100;
    program.tableOffset = 26;
    program.signatureOffset = 100;
    program.aboveA5 = 0;
    program.belowA5 = 0;
    program.configurations[0].configId = 7;
    EXPECT_EQ(Build(WriteBinFile(program), 7), 6);
}

TEST(Malformed, AnImageLargerThanTheAddressSpaceIsRefusedBeforeAnythingIsMade) {
    // A small file may claim an A5 world of any size: 256 MiB, 4 GiB, one byte past 16 MiB.
    for (const std::uint64_t claim :
         {std::uint64_t{256} << 20, std::uint64_t{0xFFFFFF00} + 0x100, kLargestImage + 1}) {
        TempDir dir;
        Program program;
        const std::uint64_t code = MakeCode1(program).size();
        const std::uint64_t data = claim - code;
        program.aboveA5 = static_cast<std::uint32_t>(std::min<std::uint64_t>(data, 0xFFFFFF00));
        program.belowA5 = static_cast<std::uint32_t>(data - program.aboveA5);
        SaveFile(dir / "Big.Bin", WriteBinFile(program));
        const ConversionReport report = ConvertBinFileWithReport(dir / "Big", 1);
        EXPECT_EQ(report.result, 1) << claim;
        EXPECT_EQ(report.detail, "image of " + std::to_string(claim) +
                                     " bytes is larger than the 16 MiB the converter accepts");
        EXPECT_FALSE(FileExists(dir / "Big.RUN"));
        EXPECT_FALSE(FileExists(dir / "Big.REC"));
    }
}

TEST(Malformed, NothingIsWrittenForAMalformedFile) {
    TempDir dir;
    Bytes file = WriteBinFile(SmallProgram());
    PutBigEndian32(file, kForkMapOffsetField, 0xFFFFFF);
    SaveFile(dir / "P.Bin", file);
    SaveText(dir / "P.MAP", "Code: 1\n");
    const ConversionReport report = ConvertBinFileWithReport(dir / "P", 1);
    EXPECT_EQ(report.result, 6);
    EXPECT_FALSE(report.detail.empty());
    EXPECT_FALSE(FileExists(dir / "P.RUN"));
    EXPECT_FALSE(FileExists(dir / "P.REC"));
    EXPECT_FALSE(FileExists(dir / "P.XMP"));
}

TEST(Malformed, TruncatedFilesOnDiskWriteNothing) {
    TempDir dir;
    const Bytes file = WriteBinFile(SmallProgram());
    for (std::size_t length : {std::size_t{0}, std::size_t{100}, std::size_t{131}, std::size_t{135},
                               file.size() / 2, file.size() - 5}) {
        SaveFile(dir / "P.Bin", Bytes(file.begin(), file.begin() + length));
        const PostLinkResult result = ConvertBinFile(dir / "P", 1);
        EXPECT_TRUE(result == 3 || result == 6) << length;
        EXPECT_FALSE(FileExists(dir / "P.RUN"));
    }
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
