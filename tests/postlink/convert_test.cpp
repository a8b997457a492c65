// Whole conversions: the three files, the load-file header, and the series over
// configurations 1, 2 and 3.

#include <gtest/gtest.h>

#include <filesystem>

#include "postlink/convert.h"
#include "postlink/post_link_file.h"
#include "srecord_check.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

Configuration Config(std::uint32_t id, std::uint32_t loadAddress, std::string suffix = "") {
    Configuration c;
    c.configId = id;
    c.loadAddress = loadAddress;
    c.codeAddress = 0x40000;
    c.dataAddress = 0x50000;
    c.auxWord20 = 0x8000;
    c.loadFileExt = ".RU" + suffix;
    c.sRecordExt = ".RE" + suffix;
    c.mapExt = ".XM" + suffix;
    return c;
}

// A program whose A5 world holds data and whose code refers to it, so that the files show
// relocation and data expansion.
Program BusyProgram(std::vector<Configuration> configurations) {
    Program program;
    program.configurations = std::move(configurations);
    program.data0 = Data0Builder()
                        .Block(-64)
                        .Copy({1, 2, 3, 4, 5, 6, 7, 8})
                        .Repeat(0x77, 10)
                        .End()
                        .Block(4)
                        .FillFF(3)
                        .End()
                        .Block(0)
                        .End()
                        .ListAt({-64, 8})
                        .EmptyList()
                        .EmptyList()
                        .EmptyList()
                        .ListAt({10, 600})
                        .ListAt({604})
                        .Build();
    return program;
}

class Conversion : public ::testing::Test {
  protected:
    std::string Base() const { return dir_ / "PROG"; }
    void Write(const Program& program, const std::string& name = "PROG.Bin") {
        SaveFile(dir_ / name, WriteBinFile(program));
    }
    TempDir dir_;
};

// The load file's image, checked against a fresh in-memory build of the same .Bin.
void ExpectLoadFile(const std::string& path, const BuildResult& built, std::uint16_t magic,
                    std::size_t headerSize) {
    const Bytes file = LoadFile(path);
    ASSERT_EQ(file.size(), headerSize + built.image.bytes.size());
    const LoadImageHeader& h = built.image.header;
    EXPECT_EQ((file[0] << 8) | file[1], magic);
    EXPECT_EQ(WordAt(file, 2), h.codeSize);
    EXPECT_EQ(WordAt(file, 6), h.dataSize);
    EXPECT_EQ(WordAt(file, 10), 0u);
    EXPECT_EQ(WordAt(file, 14), 0u);
    EXPECT_EQ(WordAt(file, 18), 0u);
    EXPECT_EQ(WordAt(file, 22), h.loadAddress);
    EXPECT_EQ((file[26] << 8) | file[27], 1);
    if (headerSize == 36) {
        EXPECT_EQ(WordAt(file, 28), h.dataAddress);
        EXPECT_EQ(WordAt(file, 32), 0u);
    }
    EXPECT_TRUE(Bytes(file.begin() + headerSize, file.end()) ==
                ImageBytes(built, 0, built.image.bytes.size()));
}

TEST_F(Conversion, ConfigurationOneWritesAllThreeFiles) {
    const Program program = BusyProgram({Config(1, 0x10040)});
    Write(program);
    SaveText(dir_ / "PROG.MAP", "Code: 000100 \nData: -64    \n");
    const ConversionReport report = ConvertBinFileWithReport(Base(), 1);
    ASSERT_EQ(report.result, 0) << report.detail;
    ASSERT_TRUE(report.map && report.sRecords && report.loadFile);
    EXPECT_EQ(report.map->error, 0);
    EXPECT_EQ(report.sRecords->path, Base() + ".RE");
    EXPECT_EQ(report.loadFile->path, Base() + ".RU");

    const BuildResult built = BuildProgram(program, 1);
    ASSERT_EQ(built.result, 0);
    ExpectLoadFile(Base() + ".RU", built, 0x601A, 28);
    ExpectSRecordFileHolds(Base() + ".RE", ImageBytes(built, 0, built.image.bytes.size()), 0x10040);
    const Bytes map = LoadFile(Base() + ".XM");
    // Code address 0x10040; A5 = 0x10040 + 640 + 64.
    EXPECT_EQ(std::string(map.begin(), map.end()), "Code: 010140 \nData: 0102C0 \n");
}

TEST_F(Conversion, RelocatedImageMatchesHandComputedWords) {
    Write(BusyProgram({Config(2, 0x10000)}));
    ASSERT_EQ(ConvertBinFile(Base(), 2), 0);
    const Bytes file = LoadFile(Base() + ".RU");
    const Bytes image(file.begin() + 36, file.end());
    // A5 world from 640: 1..8, ten 0x77, and FF FF FF at A5 + 4 = 708.
    EXPECT_EQ(image[640], 1);
    EXPECT_EQ(image[650], 0x77);
    EXPECT_EQ(image[708], 0xFF);
    // Group 1 list 1 at A5-64 (640) and A5+8 (712): plus A5 = 0x50000 + 64.
    EXPECT_EQ(WordAt(image, 640), 0x01020304u + 0x50040u);
    EXPECT_EQ(WordAt(image, 712), 0x50040u);
    // Group 2 list 2 at 10 and 600 adds the code address; list 3 at 604 the load address.
    EXPECT_EQ(WordAt(image, 112), 0x200u + 0x40000u);
    EXPECT_EQ(WordAt(image, 600), 0xB8B9BABBu + 0x40000u);
    EXPECT_EQ(WordAt(image, 604), 0xBCBDBEBFu + 0x10000u);
}

TEST_F(Conversion, ConfigurationsTwoAndThreeWriteTheLongHeader) {
    const Program program = BusyProgram({Config(2, 0x10004, "2"), Config(3, 0x2FFFF, "3")});
    Write(program);
    ASSERT_EQ(ConvertBinFile(Base(), 2), 0);
    ASSERT_EQ(ConvertBinFile(Base(), 3), 0);
    for (int id : {2, 3}) {
        SCOPED_TRACE(id);
        const BuildResult built = BuildProgram(program, id);
        const std::string n = std::to_string(id);
        ExpectLoadFile(Base() + ".RU" + n, built, 0x601B, 36);
        ExpectSRecordFileHolds(Base() + ".RE" + n, ImageBytes(built, 0, built.image.bytes.size()),
                               built.image.header.loadAddress);
    }
}

TEST_F(Conversion, MissingMapStillConverts) {
    Write(BusyProgram({Config(1, 0x10000)}));
    const ConversionReport report = ConvertBinFileWithReport(Base(), 1);
    EXPECT_EQ(report.result, 0);
    ASSERT_TRUE(report.map);
    EXPECT_EQ(report.map->error, ENOENT);
    EXPECT_FALSE(FileExists(Base() + ".XM"));
    EXPECT_TRUE(FileExists(Base() + ".RU"));
}

TEST_F(Conversion, InputsAreFoundIgnoringCaseAndOutputsKeepTheirNames) {
    Write(BusyProgram({Config(1, 0x10000)}), "PROG.bin");
    SaveText(dir_ / "prog.map", "Code: 0      \n");
    const ConversionReport report = ConvertBinFileWithReport(Base(), 1);
    ASSERT_EQ(report.result, 0) << report.detail;
    EXPECT_TRUE(FileExists(Base() + ".XM"));
    EXPECT_TRUE(FileExists(Base() + ".RU"));
}

TEST_F(Conversion, MissingBinGivesTwo) {
    EXPECT_EQ(ConvertBinFile(Base(), 1), 2);
}

TEST_F(Conversion, ShortExtensionsEndAtTheirZeroByte) {
    Configuration c = Config(1, 0x10000);
    c.loadFileExt = ".R";
    c.sRecordExt = "";
    Write(BusyProgram({c}));
    ASSERT_EQ(ConvertBinFile(Base(), 1), 0);
    EXPECT_TRUE(FileExists(Base() + ".R"));
    EXPECT_TRUE(FileExists(Base()));  // the S-record file, with no extension at all
}

TEST_F(Conversion, LoadFileThatCannotBeWrittenGivesCodeSevenAndTheErrnoApart) {
    // The errno is kept beside the code, never in its place: EISDIR is 21, but EPERM is 1 and
    // EIO 5, which the converter's own codes use.
    Write(BusyProgram({Config(1, 0x10000)}));
    std::filesystem::create_directory(Base() + ".RU");
    const ConversionReport report = ConvertBinFileWithReport(Base(), 1);
    EXPECT_EQ(report.result, kPostLinkCannotWriteLoadFile);
    EXPECT_EQ(report.systemError, EISDIR);
    EXPECT_EQ(report.detail, "cannot write " + Base() + ".RU: Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(Base() + ".RU"));
    EXPECT_TRUE(FileExists(Base() + ".RE"));
    EXPECT_FALSE(ContinuesSeries(report));
}

TEST_F(Conversion, ExistingFilesAreReplaced) {
    Write(BusyProgram({Config(1, 0x10000)}));
    SaveText(Base() + ".RU", std::string(100000, 'x'));
    ASSERT_EQ(ConvertBinFile(Base(), 1), 0);
    EXPECT_EQ(LoadFile(Base() + ".RU").size(), 28u + 768u);
}

TEST_F(Conversion, PathsLongerThanAnyFixedBuffer) {
    std::string folder = dir_.path();
    for (int i = 0; i < 12; ++i) {
        folder += "/" + std::string(60, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(folder);
    ASSERT_GT(folder.size(), 700u);
    SaveFile(folder + "/PROG.BIN", WriteBinFile(BusyProgram({Config(1, 0x10000)})));
    const PostLinkRun run = PostLinkFile(folder + "/PROG.BIN");
    ASSERT_EQ(run.outcomes.size(), 3u);
    EXPECT_EQ(run.outcomes[0].report.result, 0) << run.outcomes[0].report.detail;
    EXPECT_TRUE(FileExists(folder + "/PROG.RU"));
}

TEST_F(Conversion, ConverterIsReentrant) {
    // Two images built in interleaved order keep their own relocation amounts.
    const Program one = BusyProgram({Config(1, 0x10000)});
    const Program two = BusyProgram({Config(1, 0x90000)});
    const BuildResult a = BuildProgram(one, 1);
    const BuildResult b = BuildProgram(two, 1);
    const BuildResult a2 = BuildProgram(one, 1);
    EXPECT_EQ(ImageBytes(a, 0, 768), ImageBytes(a2, 0, 768));
    EXPECT_NE(ImageBytes(a, 0, 768), ImageBytes(b, 0, 768));
}

TEST(CutBinExtension, TakesTheFirstOccurrenceOfEachSpellingInTurn) {
    EXPECT_EQ(CutBinExtension("/p/TEST.bin"), "/p/TEST");
    EXPECT_EQ(CutBinExtension("/p/TEST.Bin"), "/p/TEST");
    EXPECT_EQ(CutBinExtension("/a.BIN/x.BIN"), "/a");
    // ".BIN" anywhere wins over an earlier ".bin".
    EXPECT_EQ(CutBinExtension("/a.bin/x.BIN"), "/a.bin/x");
    EXPECT_EQ(CutBinExtension("/p/TEST.bIn"), std::nullopt);
    EXPECT_EQ(CutBinExtension("/p/TEST"), std::nullopt);
}

class Recorder : public PostLinkObserver {
  public:
    void SetCaption(std::string_view caption) override { Log("caption " + std::string(caption)); }
    void SetStatus(std::string_view status) override { Log("status"); }
    void SetRange(int low, int high) override {
        Log("range " + std::to_string(low) + " " + std::to_string(high));
    }
    void SetStep(int step) override { Log("step " + std::to_string(step)); }
    void SetPosition(int position) override { Log("position " + std::to_string(position)); }
    void StepIt() override { Log("stepit"); }
    void Close() override { Log("close"); }
    void ConfigurationDone(int configId, const ConversionReport& report) override {
        Log("config " + std::to_string(configId) + " " + std::to_string(report.result));
    }
    std::string log;

  private:
    void Log(const std::string& line) { log += line + "\n"; }
};

TEST_F(Conversion, SeriesSkipsAMissingConfigurationAndLaterFilesWin) {
    Configuration one = Config(1, 0x10000);
    Configuration three = Config(3, 0x30000);
    Write(BusyProgram({one, three}), "PROG.BIN");
    Recorder recorder;
    const PostLinkRun run = PostLinkFile(dir_ / "PROG.BIN", recorder);
    EXPECT_EQ(recorder.log,
              "caption Tarvoline PostLink\nstatus\nrange 0 3\nstep 1\nposition 0\n"
              "config 1 0\nstepit\nconfig 2 5\nstepit\nconfig 3 0\nstepit\nstepit\nclose\n");
    EXPECT_FALSE(run.Failed());
    EXPECT_TRUE(run.AnyConverted());
    // Both use the same extensions, so configuration 3's 36-byte header is what remains.
    EXPECT_EQ(LoadFile(Base() + ".RU").size(), 36u + 768u);
}

TEST_F(Conversion, SeriesEndsAtTheFirstFailure) {
    Recorder recorder;
    const PostLinkRun run = PostLinkFile(dir_ / "NONE.BIN", recorder);
    EXPECT_EQ(recorder.log,
              "caption Tarvoline PostLink\nstatus\nrange 0 3\nstep 1\nposition 0\n"
              "config 1 2\nstepit\nstepit\nclose\n");
    EXPECT_TRUE(run.Failed());
}

TEST_F(Conversion, SystemErrorThatEqualsAConverterCodeStillEndsTheSeries) {
    ConversionReport report;
    report.result = kPostLinkNoConfiguration;
    report.systemError = EIO;  // the same number as the code
    EXPECT_FALSE(ContinuesSeries(report));
    report.systemError = 0;
    EXPECT_TRUE(ContinuesSeries(report));
}

TEST_F(Conversion, RefusedPathRunsNothing) {
    Recorder recorder;
    const PostLinkRun run = PostLinkFile(dir_ / "PROG.EXE", recorder);
    EXPECT_FALSE(run.basePath);
    EXPECT_EQ(recorder.log, "");
    EXPECT_EQ(kInvalidBinFileMessage, "Invalid .BIN file!");
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
