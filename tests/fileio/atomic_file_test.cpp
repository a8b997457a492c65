// Files written whole or not at all: the new file replaces the old one only when complete, a
// symbolic link at the name is replaced and never followed, and a failure at any step leaves
// the old file as it was and nothing else behind.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A file the user made private (or executable) stays so when an output replaces it, whatever
// the umask; only a new name takes the umask's mode.
TEST_F(AtomicFileTest, AReplacedFileKeepsItsPermissionBits) {
    const mode_t old = ::umask(022);
    for (const mode_t mode : {0600u, 0640u, 0755u, 0400u, 0666u}) {
        SCOPED_TRACE(mode);
        const std::string path = Path("prog.RUN");
        Save(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(WriteFileWhole(path, {Bytes("new")}), 0);
        EXPECT_EQ(Read(path), "new");
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
    // The same through the steps an XMODEM receive takes.
    Save(Path("target.bin"), "old");
    ASSERT_EQ(::chmod(Path("target.bin").c_str(), 0600), 0);
    {
        AtomicFile file(Path("target.bin"));
        ASSERT_TRUE(file.Create());
        ASSERT_TRUE(file.Write(Bytes("received")));
        ASSERT_TRUE(file.Commit()) << file.errorText();
    }
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::lstat(Path("target.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Read(Path("target.bin")), "received");
    EXPECT_EQ(Names(), (std::vector<std::string>{"prog.RUN", "target.bin"}));
}

TEST_F(AtomicFileTest, ANewFileFollowsTheUmaskAndALinkIsNoFileToTakeBitsFrom) {
    Save(Path("private"), "secret");
    ASSERT_EQ(::chmod(Path("private").c_str(), 0600), 0);
    fs::create_symlink("private", Path("link.REC"));
    const mode_t old = ::umask(002);
    const int fresh = WriteFileWhole(Path("fresh.REC"), {Bytes("S9")});
    const int linked = WriteFileWhole(Path("link.REC"), {Bytes("S9")});
    ::umask(old);
    ASSERT_EQ(fresh, 0);
    ASSERT_EQ(linked, 0);
    for (const char* name : {"fresh.REC", "link.REC"}) {
        SCOPED_TRACE(name);
        struct stat st {};
        ASSERT_EQ(::lstat(Path(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0664u);
    }
    EXPECT_EQ(Read(Path("private")), "secret");
}

// Root rewriting a user's file leaves it the user's, with the user's group.
TEST_F(AtomicFileTest, RootKeepsTheOwnerAndGroupOfTheFileItReplaces) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    const uid_t nobody = 65534;
    const gid_t nogroup = 65534;
    Save(Path("user.APP"), "old");
    ASSERT_EQ(::chown(Path("user.APP").c_str(), nobody, nogroup), 0);
    ASSERT_EQ(::chmod(Path("user.APP").c_str(), 0640), 0);
    ASSERT_EQ(WriteFileWhole(Path("user.APP"), {Bytes("new")}), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(Path("user.APP").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody);
    EXPECT_EQ(st.st_gid, nogroup);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A user who cannot keep the old file's group (not one of theirs) keeps the mode for owner
// and others, but the group the new file has gets none of the old group's rights.
TEST_F(AtomicFileTest, AGroupThatCannotBeKeptGetsNoneOfTheOldGroupsRights) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to set up a file in a group the writer is not in";
    }
    const uid_t nobody = 65534;
    const gid_t nogroup = 65534;
    const gid_t otherGroup = 4321;  // a group "nobody" is not in
    ASSERT_EQ(::chmod(dir_.c_str(), 0711), 0);
    fs::create_directory(Path("shared"));
    ASSERT_EQ(::chown(Path("shared").c_str(), nobody, nogroup), 0);
    const std::string path = Path("shared/out.RUN");
    Save(path, "old");
    ASSERT_EQ(::chown(path.c_str(), nobody, otherGroup), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const gid_t none[] = {nogroup};
        if (::setgroups(1, none) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0) {
            ::_exit(2);
        }
        ::_exit(WriteFileWhole(path, {Bytes("new")}) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(st.st_uid, nobody);
    EXPECT_EQ(st.st_gid, nogroup);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
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
