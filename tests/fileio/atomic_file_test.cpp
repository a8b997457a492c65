// Files written whole or not at all: the new file replaces the old one only when complete, a
// symbolic link at the name is replaced and never followed, and a failure at any step leaves
// the old file as it was and nothing else behind.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fileio/atomic_file.h"

namespace tarvoline::fileio {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvoline-fileio-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Save(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    // Every name in the folder, sorted: what a step left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

TEST_F(AtomicFileTest, WritesANewFileWithTheModeOfAPlainCreate) {
    const mode_t old = ::umask(027);
    const int result = WriteFileWhole(Path("out.RUN"), {Bytes("head"), Bytes("-body")});
    ::umask(old);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Read(Path("out.RUN")), "head-body");
    struct stat st {};
    ASSERT_EQ(::lstat(Path("out.RUN").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.RUN"});
}

TEST_F(AtomicFileTest, ReplacesAnExistingFileAndAnEmptyWriteGivesAnEmptyFile) {
    Save(Path("out.REC"), std::string(5000, 'x'));
    ASSERT_EQ(WriteFileWhole(Path("out.REC"), {Bytes("short")}), 0);
    EXPECT_EQ(Read(Path("out.REC")), "short");
    ASSERT_EQ(WriteFileWhole(Path("out.REC"), {}), 0);
    EXPECT_EQ(Read(Path("out.REC")), "");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.REC"});
}

TEST_F(AtomicFileTest, ASymbolicLinkAtTheNameIsReplacedNotFollowed) {
    fs::create_directory(Path("home"));
    Save(Path("home/.profile"), "export PATH=/usr/bin\n");
    fs::create_symlink("home/.profile", Path("demo.REC"));
    ASSERT_EQ(WriteFileWhole(Path("demo.REC"), {Bytes("S804010000FA\r\n")}), 0);
    EXPECT_EQ(Read(Path("home/.profile")), "export PATH=/usr/bin\n");
    EXPECT_FALSE(fs::is_symlink(Path("demo.REC")));
    EXPECT_TRUE(fs::is_regular_file(Path("demo.REC")));
    EXPECT_EQ(Read(Path("demo.REC")), "S804010000FA\r\n");
}

TEST_F(AtomicFileTest, ALinkToAMissingFileCreatesNothingWhereItPoints) {
    fs::create_directory(Path("home"));
    fs::create_symlink("home/.profile2", Path("demo.APP"));
    ASSERT_EQ(WriteFileWhole(Path("demo.APP"), {Bytes("program")}), 0);
    EXPECT_FALSE(fs::exists(Path("home/.profile2")));
    EXPECT_TRUE(fs::is_empty(Path("home")));
    EXPECT_FALSE(fs::is_symlink(Path("demo.APP")));
    EXPECT_EQ(Read(Path("demo.APP")), "program");
}

TEST_F(AtomicFileTest, AWriteThatFailsHalfWayLeavesTheOldFileAndNoTemporaryFile) {
    // A file-size limit makes the kernel refuse the write past it, as a full disk would,
    // whoever runs the test (root included).
    Save(Path("out.RUN"), "the old load file");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 4096) {
        GTEST_SKIP() << "file-size limit already below the test's";
    }
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string why;
    const int result = WriteFileWhole(Path("out.RUN"), {Bytes(std::string(10000, 'n'))}, &why);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, EFBIG);
    EXPECT_EQ(why, "Cannot write " + Path("out.RUN") + ": " + SystemErrorText(EFBIG));
    EXPECT_EQ(Read(Path("out.RUN")), "the old load file");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.RUN"});
}

TEST_F(AtomicFileTest, ARenameThatFailsLeavesWhatHadTheNameAndNoTemporaryFile) {
    fs::create_directory(Path("out.MAP"));
    Save(Path("out.MAP/inside"), "kept");
    std::string why;
    const int result = WriteFileWhole(Path("out.MAP"), {Bytes("map text")}, &why);
    EXPECT_EQ(result, EISDIR);
    EXPECT_EQ(why, "Cannot replace " + Path("out.MAP") + ": Is a directory");
    EXPECT_EQ(Read(Path("out.MAP/inside")), "kept");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.MAP"});
}

TEST_F(AtomicFileTest, AFolderThatCannotHoldTheFileIsReportedByName) {
    // A path through a regular file: no one, root included, can create anything there.
    Save(Path("plain"), "a file, not a folder");
    std::string why;
    EXPECT_EQ(WriteFileWhole(Path("plain/out.RUN"), {Bytes("x")}, &why), ENOTDIR);
    EXPECT_EQ(why, "Cannot create a file beside " + Path("plain/out.RUN") + ": Not a directory");
    EXPECT_EQ(WriteFileWhole(Path("none/out.RUN"), {Bytes("x")}, &why), ENOENT);
    EXPECT_EQ(Read(Path("plain")), "a file, not a folder");
    EXPECT_EQ(Names(), std::vector<std::string>{"plain"});
}

TEST_F(AtomicFileTest, DiscardingOrDroppingAnUnfinishedFileKeepsTheOldOne) {
    Save(Path("got.bin"), "twelve bytes");
    {
        AtomicFile file(Path("got.bin"));
        ASSERT_TRUE(file.Create());
        ASSERT_TRUE(file.Write(Bytes("half a transfer")));
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
        EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), fs::path(dir_));
        file.Discard();
        EXPECT_EQ(Names(), std::vector<std::string>{"got.bin"});
    }
    {
        AtomicFile file(Path("got.bin"));
        ASSERT_TRUE(file.Create());
        ASSERT_TRUE(file.Write(Bytes("half a transfer")));
    }
    EXPECT_EQ(Read(Path("got.bin")), "twelve bytes");
    EXPECT_EQ(Names(), std::vector<std::string>{"got.bin"});
}

TEST_F(AtomicFileTest, ANameAsLongAsTheSystemAllowsStillGetsItsTemporaryFile) {
    const std::string name(255, 'n');
    ASSERT_EQ(WriteFileWhole(Path(name), {Bytes("long")}), 0);
    EXPECT_EQ(Read(Path(name)), "long");
    EXPECT_EQ(Names(), std::vector<std::string>{name});
}

}  // namespace
}  // namespace tarvoline::fileio
