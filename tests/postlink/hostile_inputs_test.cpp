// A .Bin and its folder as someone else may have prepared them: links planted at the output
// names, a disk that fills, a map the user may not read or replace, files that are no .Bin at
// all, and a small file that claims a huge image. Each case is the reproducer of a fault that
// was found, run against the real converter and the real file system.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "postlink/conversion_text.h"
#include "postlink/convert.h"
#include "postlink/post_link_file.h"
#include "postlink/resource_fork.h"
#include "test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define TARVOLINE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOLINE_UNDER_ASAN 1
#endif
#endif

namespace tarvoline::postlink::testkit {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::string& path) {
    const Bytes bytes = LoadFile(path);
    return {bytes.begin(), bytes.end()};
}

bool IsPlainFile(const std::string& path) {
    return fs::is_regular_file(fs::symlink_status(path));
}

// What a conversion reported, as text, so that a child process can hand it back.
std::string Summary(const ConversionReport& report) {
    return "result " + std::to_string(report.result) + ", errno " +
           std::to_string(report.systemError) + ": " + DescribeConversion(1, report);
}

// ---- links planted at the output names ---------------------------------------------------

class PlantedLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(dir_ / "dl");
        fs::create_directory(dir_ / "home");
        SaveText(dir_ / "home/.profile", "export PATH=/usr/bin\n");
        SaveText(dir_ / "home/.bashrc", "alias ll='ls -l'\n");
        SaveText(dir_ / "dl/demo.MAP", "Code: 000100 main\n");
    }
    TempDir dir_;
};

TEST_F(PlantedLinks, LinksAtTheOutputNamesAreReplacedAndWhatTheyPointToIsUntouched) {
    SaveFile(dir_ / "dl/demo.Bin", WriteBinFile(Program{}));
    fs::create_symlink("../home/.profile", dir_ / "dl/demo.REC");
    fs::create_symlink("../home/.bashrc", dir_ / "dl/demo.XMP");
    fs::create_symlink(dir_ / "home/.profile", dir_ / "dl/demo.RUN");
    const PostLinkRun run = PostLinkFile(dir_ / "dl/demo.Bin");
    ASSERT_FALSE(run.outcomes.empty());
    ASSERT_EQ(run.outcomes[0].report.result, kPostLinkDone) << run.outcomes[0].report.detail;
    EXPECT_EQ(Text(dir_ / "home/.profile"), "export PATH=/usr/bin\n");
    EXPECT_EQ(Text(dir_ / "home/.bashrc"), "alias ll='ls -l'\n");
    for (const char* name : {"dl/demo.REC", "dl/demo.XMP", "dl/demo.RUN"}) {
        EXPECT_TRUE(IsPlainFile(dir_ / name)) << name;
    }
    EXPECT_EQ(Text(dir_ / "dl/demo.REC").substr(0, 2), "S2");
    EXPECT_EQ(Text(dir_ / "dl/demo.XMP").substr(0, 6), "Code: ");
    EXPECT_EQ(LoadFile(dir_ / "dl/demo.RUN").size(), 28u + 768u);
    EXPECT_EQ(FolderNames(dir_ / "home"), (std::vector<std::string>{".bashrc", ".profile"}));
}

TEST_F(PlantedLinks, ALinkToAMissingFileCreatesNothingWhereItPoints) {
    Program program;
    program.configurations[0].loadFileExt = ".APP";
    SaveFile(dir_ / "dl/demo.Bin", WriteBinFile(program));
    fs::create_symlink("../home/.profile2", dir_ / "dl/demo.APP");
    const ConversionReport report = ConvertBinFileWithReport(dir_ / "dl/demo", 1);
    ASSERT_EQ(report.result, kPostLinkDone) << report.detail;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "home/.profile2")));
    EXPECT_EQ(FolderNames(dir_ / "home"), (std::vector<std::string>{".bashrc", ".profile"}));
    EXPECT_TRUE(IsPlainFile(dir_ / "dl/demo.APP"));
}

// ---- a write that fails -------------------------------------------------------------------

TEST(FailedWrites, AFullDiskLeavesTheOldFilesAsTheyWereAndNoTemporaryFiles) {
    // A file-size limit makes the kernel refuse every write past it with EFBIG, exactly where
    // a full disk refuses with ENOSPC, and it binds root too. The map fits under it, the
    // S-records and the load file do not.
    TempDir dir;
    SaveFile(dir / "demo.Bin", WriteBinFile(Program{}));
    SaveText(dir / "demo.MAP", "Code: 0\n");
    SaveText(dir / "demo.REC", "the old S-records\r\n");
    SaveText(dir / "demo.RUN", "the old load file");
    const std::optional<std::string> summary = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{300, 300};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
            return std::string("no limit");
        }
        return Summary(ConvertBinFileWithReport(dir / "demo", 1));
    });
    ASSERT_TRUE(summary);
    const std::string tooLarge = SystemErrorText(EFBIG);
    EXPECT_EQ(*summary, "result 7, errno " + std::to_string(EFBIG) + ": failed: cannot write " +
                            (dir / "demo.RUN") + ": " + tooLarge + "; wrote " + (dir / "demo.XMP") +
                            "; S-record file " + (dir / "demo.REC") +
                            " not written: " + tooLarge);
    EXPECT_EQ(Text(dir / "demo.REC"), "the old S-records\r\n");
    EXPECT_EQ(Text(dir / "demo.RUN"), "the old load file");
    EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"demo.Bin", "demo.MAP",
                                                                  "demo.REC", "demo.RUN",
                                                                  "demo.XMP"}));
}

// ---- permission errors on the map ---------------------------------------------------------

constexpr fs::perms kReadable =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

// Root passes every permission check, so a permission error is made by running the conversion
// as an ordinary user, in a child that gives up root. "" when it ran, else why it could not.
std::string BecomeNobody() {
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        return std::string("cannot become uid 65534: ") + std::strerror(errno);
    }
    return {};
}

TEST(MapPermissions, AMapThatMayNotBeReadGivesTheSystemsTextNotAConverterCode) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    // The outputs go to a folder the child may write to; the inputs are readable but the map.
    fs::create_directory(dir / "work");
    fs::permissions(dir / "work", fs::perms::all);
    SaveFile(dir / "work/demo.Bin", WriteBinFile(Program{}));
    fs::permissions(dir / "work/demo.Bin", kReadable);
    SaveText(dir / "work/demo.MAP", "Code: 0\n");
    fs::permissions(dir / "work/demo.MAP", fs::perms::none);
    const bool root = ::geteuid() == 0;
    const std::optional<std::string> summary = RunInChild([&] {
        if (root) {
            if (std::string why = BecomeNobody(); !why.empty()) {
                return "skip " + why;
            }
        }
        return Summary(ConvertBinFileWithReport(dir / "work/demo", 1));
    });
    ASSERT_TRUE(summary);
    if (summary->rfind("skip ", 0) == 0) {
        GTEST_SKIP() << *summary;
    }
    EXPECT_EQ(*summary, "result 0, errno 0: wrote " + (dir / "work/demo.REC") + " and " +
                            (dir / "work/demo.RUN") + "; map " + (dir / "work/demo.XMP") +
                            " not written: cannot read " + (dir / "work/demo.MAP") + ": " +
                            SystemErrorText(EACCES));
}

TEST(MapPermissions, AMapThatMayNotBeReplacedGivesOperationNotPermittedAndKeepsTheOldOne) {
    // EPERM is 1, the converter's "out of memory": the case that used to read "Cannot
    // allocate memory". In a sticky folder (as /tmp is) only a file's owner may replace it;
    // the old map belongs to root and the conversion runs as another user.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to own a file that the converting user may not replace";
    }
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::create_directory(dir / "shared");
    fs::permissions(dir / "shared", fs::perms::all | fs::perms::sticky_bit);
    SaveFile(dir / "shared/demo.Bin", WriteBinFile(Program{}));
    SaveText(dir / "shared/demo.MAP", "Code: 0\n");
    fs::permissions(dir / "shared/demo.Bin", kReadable);
    fs::permissions(dir / "shared/demo.MAP", kReadable);
    SaveText(dir / "shared/demo.XMP", "root's old map\n");
    const std::optional<std::string> summary = RunInChild([&] {
        if (std::string why = BecomeNobody(); !why.empty()) {
            return "skip " + why;
        }
        return Summary(ConvertBinFileWithReport(dir / "shared/demo", 1));
    });
    ASSERT_TRUE(summary);
    if (summary->rfind("skip ", 0) == 0) {
        GTEST_SKIP() << *summary;
    }
    EXPECT_EQ(*summary, "result 0, errno 0: wrote " + (dir / "shared/demo.REC") + " and " +
                            (dir / "shared/demo.RUN") + "; map " + (dir / "shared/demo.XMP") +
                            " not written: " + SystemErrorText(EPERM));
    EXPECT_EQ(summary->find("memory"), std::string::npos);
    EXPECT_EQ(Text(dir / "shared/demo.XMP"), "root's old map\n");
    EXPECT_EQ(FolderNames(dir / "shared"),
              (std::vector<std::string>{"demo.Bin", "demo.MAP", "demo.REC", "demo.RUN",
                                        "demo.XMP"}));
}

// ---- files that are no .Bin ---------------------------------------------------------------

TEST(NotABinFile, EmptyTruncatedAndForeignFilesSaySoAndNameTheFile) {
    TempDir dir;
    const Bytes good = WriteBinFile(Program{});
    Bytes mapOutside = good;
    PutBigEndian32(mapOutside, kForkMapOffsetField, 0x00FFFFFF);
    Bytes dataOutside = good;
    PutBigEndian32(dataOutside, kForkDataAreaOffsetField, 0xFFFFFFFF);
    const std::string text = "Code: 000100 main\nData: -8 counter\n";
    Bytes foreign;
    while (foreign.size() < 2000) {
        foreign.insert(foreign.end(), text.begin(), text.end());
    }
    const std::string size = std::to_string(good.size()) + " bytes";
    const std::pair<Bytes, std::string> cases[] = {
        {{}, "the file is empty"},
        {Bytes(good.begin(), good.begin() + 100),
         "no resource fork: it has 100 bytes, too few for a fork header at byte 128"},
        {Bytes(good.begin(), good.begin() + 135),
         "no resource fork: it has 135 bytes, too few for a fork header at byte 128"},
        {mapOutside, "the resource map at 0x100007F lies outside the file's " + size},
        {dataOutside, "the resource data area at 0x10000007F lies outside the file's " + size},
        // A renamed text file: its bytes 128 to 131 read as an offset far past its end.
        {foreign, "the resource data area at 0x202D38A0 lies outside the file's 2030 bytes"},
    };
    for (const auto& [bytes, reason] : cases) {
        SaveFile(dir / "demo.Bin", bytes);
        const ConversionReport report = ConvertBinFileWithReport(dir / "demo", 1);
        EXPECT_EQ(report.result, kPostLinkMalformedBin) << reason;
        EXPECT_EQ(report.detail, (dir / "demo.Bin") + " is not a linker .Bin file (" + reason + ")");
        EXPECT_FALSE(FileExists(dir / "demo.RUN"));
    }
}

TEST(NotABinFile, AFifoInPlaceOfTheBinOrTheMapDoesNotHoldTheConversion) {
    // Opening a FIFO for reading waits for a writer; one planted as demo.Bin would hang the
    // conversion (the window's worker thread) for good. Run in a child, so a regression fails
    // the test instead of hanging it.
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "demo.Bin").c_str(), 0644), 0);
    const std::optional<std::string> fifoBin = RunInChild(
        [&] { return ConvertBinFileWithReport(dir / "demo", 1).detail; }, 10);
    ASSERT_TRUE(fifoBin) << "the conversion did not end";
    EXPECT_EQ(*fifoBin, (dir / "demo.Bin") + " is not a linker .Bin file (the file is empty)");

    fs::remove(dir / "demo.Bin");
    SaveFile(dir / "demo.Bin", WriteBinFile(Program{}));
    ASSERT_EQ(::mkfifo((dir / "demo.MAP").c_str(), 0644), 0);
    const std::optional<std::string> fifoMap =
        RunInChild([&] { return Summary(ConvertBinFileWithReport(dir / "demo", 1)); }, 10);
    ASSERT_TRUE(fifoMap) << "the conversion did not end";
    EXPECT_EQ(fifoMap->substr(0, 22), "result 0, errno 0: wro") << *fifoMap;
}

TEST(NotABinFile, AForkWithOneBrokenEntryStillSaysWhichEntry) {
    Bytes file = WriteBinFile(Program{});
    const ResourceLookup data0 = FindResource(file, kDataType, 0);
    ASSERT_EQ(data0.status, LookupStatus::kFound);
    PutBigEndian32(file, data0.fileOffset - 4, static_cast<std::uint32_t>(file.size()));
    const BuildResult built = BuildLoadImageFromBin(file, 1);
    EXPECT_EQ(built.result, kPostLinkMalformedBin);
    EXPECT_EQ(built.detail, "the resource map entry of DATA 0 points outside the file");
}

// ---- a small file that claims a huge image ------------------------------------------------

Program ClaimingAnA5WorldOf(std::uint64_t bytes) {
    Program program;
    program.aboveA5 = static_cast<std::uint32_t>(bytes - MakeCode1(program).size());
    program.belowA5 = 0;
    return program;
}

constexpr rlim_t kAddressSpaceLimit = 256u << 20;
const std::string kRefused =
    "image of 268435456 bytes is larger than the 16 MiB the converter accepts";

TEST(HugeClaims, A256MibClaimIsRefusedWithinA256MbAddressSpace) {
#ifdef TARVOLINE_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    TempDir dir;
    SaveFile(dir / "Big.Bin", WriteBinFile(ClaimingAnA5WorldOf(std::uint64_t{256} << 20)));
    ASSERT_LT(LoadFile(dir / "Big.Bin").size(), 2000u);
    const std::optional<std::string> summary = RunInChild([&] {
        const rlimit limit{kAddressSpaceLimit, kAddressSpaceLimit};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) {
            return std::string("no limit");
        }
        // The limit is real: the image the claim asks for cannot be had under it, so a
        // converter that tried would fail with "no memory", not with the bound.
        void* image = std::calloc(std::size_t{256} << 20, 1);
        if (image != nullptr) {
            std::free(image);
            return std::string("the limit does not bind");
        }
        return Summary(ConvertBinFileWithReport(dir / "Big", 1));
    });
    ASSERT_TRUE(summary);
    EXPECT_EQ(*summary, "result 1, errno 0: failed: " + kRefused);
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"Big.Bin"});
}

#ifdef TARVOLINE_CLI_PATH
TEST(HugeClaims, TheCommandLineToolRefusesItUnderPrlimit) {
#ifdef TARVOLINE_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves far more address space than the limit";
#endif
    if (RunCommand("prlimit --version").exitCode != 0) {
        GTEST_SKIP() << "prlimit is not installed";
    }
    TempDir dir;
    SaveFile(dir / "Big.Bin", WriteBinFile(ClaimingAnA5WorldOf(std::uint64_t{256} << 20)));
    const CommandResult result =
        RunCommand("prlimit --as=" + std::to_string(kAddressSpaceLimit) + " " +
                   ShellQuote(TARVOLINE_CLI_PATH) + " postlink " + ShellQuote(dir / "Big.Bin"));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("configuration 1: failed: " + kRefused), std::string::npos)
        << result.output;
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"Big.Bin"});
}
#endif

}  // namespace
}  // namespace tarvoline::postlink::testkit
