// One instance per user: the hand-off between two objects and between two programs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <vector>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "GuiSupport.h"
#include "Pty.h"
#include "app/SingleInstance.h"

namespace {

TEST(SingleInstance, ASecondStartHandsOverToTheFirst) {
    CSingleInstance first("TarvolineTest-handoff");
    ASSERT_TRUE(first.Listen());
    int activations = 0;
    QObject::connect(&first, &CSingleInstance::ActivationRequested, [&] { ++activations; });
    CSingleInstance second("TarvolineTest-handoff");
    bool handedOff = false;
    // The first answers from its event loop, so the second asks from a timer.
    QTimer::singleShot(0, [&] { handedOff = second.HandOff(); });
    ASSERT_TRUE(WaitFor([&] { return activations == 1; }));
    EXPECT_TRUE(handedOff);
}

TEST(SingleInstance, PostLinkLoadRequestReachesTheFirst) {
    CSingleInstance first("TarvolineTest-postlink");
    ASSERT_TRUE(first.Listen());
    int requests = 0;
    QObject::connect(&first, &CSingleInstance::PostLinkLoadRequested, [&] { ++requests; });
    CSingleInstance second("TarvolineTest-postlink");
    QTimer::singleShot(0, [&] { second.HandOff(CSingleInstance::kPostLinkLoad); });
    EXPECT_TRUE(WaitFor([&] { return requests == 1; }));
}

TEST(SingleInstance, NobodyListeningMeansRunHere) {
    CSingleInstance alone("TarvolineTest-nobody");
    EXPECT_FALSE(alone.HandOff(CSingleInstance::kActivate, 200));
}

// The socket lies in the session's own directory, named from the settings store.
TEST(SingleInstance, TheNameDependsOnTheSettingsStore) {
    const QString name = CSingleInstance::DefaultName();
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith("Tarvoline-")) << name.toStdString();
    EXPECT_EQ(QFileInfo(name).path(), QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")));
    EXPECT_NE(CSingleInstance::SocketPathFor("/a/Tarvoline.conf"),
              CSingleInstance::SocketPathFor("/b/Tarvoline.conf"));
}

// The uid of nobody: the other user of the tests that run as root.
constexpr uid_t kOtherUid = 65534;

// A forked child, for what needs another user: it runs plain system calls only and ends by
// itself once the test closes its end of the pipe (or after its own alarm).
class CChild {
public:
    ~CChild() { Stop(); }
    // Starts body in a child; body returns the child's exit code.
    template <typename Body>
    bool Start(Body body) {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            ::close(fds[1]);
            ::alarm(20);
            ::_exit(body(fds[0]));
        }
        ::close(fds[0]);
        m_pipe = fds[1];
        return true;
    }
    // Lets the child go on past its wait on the pipe and collects its exit code.
    int Stop() {
        if (m_pipe >= 0) ::close(m_pipe);
        m_pipe = -1;
        if (m_pid <= 0) return m_status;
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status;
    }
    // In the child: waits until the test lets it go on.
    static void WaitForParent(int fd) {
        char c;
        while (::read(fd, &c, 1) > 0) {
        }
    }

private:
    pid_t m_pid = -1;
    int m_pipe = -1;
    int m_status = -1;
};

sockaddr_un Address(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

bool BecomeOtherUser() { return ::setgid(kOtherUid) == 0 && ::setuid(kOtherUid) == 0; }

// A folder under /tmp that every user can reach and only this one can change (mode 0711), for
// what another user must get at; removed with what it holds. QTemporaryDir would put it under
// the test's TMPDIR in the build folder, which lies wherever the checkout does.
class CReachableDir {
public:
    CReachableDir() {
        char pattern[] = "/tmp/tarvoline-test-XXXXXX";
        if (!::mkdtemp(pattern)) {
            m_error = std::string("mkdtemp under /tmp: ") + std::strerror(errno);
            return;
        }
        m_path = QString::fromLocal8Bit(pattern);
        if (::chmod(pattern, 0711) != 0) m_error = std::string("chmod 0711 ") + pattern;
        // Every folder on the way must let others through.
        struct stat st{};
        if (m_error.empty() && (::stat("/tmp", &st) != 0 || (st.st_mode & S_IXOTH) == 0))
            m_error = "/tmp does not let other users through";
    }
    ~CReachableDir() {
        if (!m_path.isEmpty()) QDir(m_path).removeRecursively();
    }
    bool IsValid() const { return !m_path.isEmpty() && m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const QString& Path() const { return m_path; }
    QString FilePath(const QString& name) const { return m_path + "/" + name; }

private:
    QString m_path;
    std::string m_error;
};

// Another user listening first at the name a start would use: the start must not hand its
// request to it, and takes the name for itself.
TEST(SingleInstanceUsers, AStartIgnoresAListenerOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("Tarvoline-squatted");
    const std::string path = QFile::encodeName(name).toStdString();
    // The ready byte comes back on this pipe once the squatter listens.
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    CChild squatter;
    ASSERT_TRUE(squatter.Start([&](int release) {
        ::close(ready[0]);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = Address(path);
        // Bound as root in the test's directory, but listening (when the kernel records who
        // listens) as the other user.
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return 2;
        ::chmod(path.c_str(), 0777);
        if (!BecomeOtherUser() || ::listen(fd, 8) != 0) return 3;
        if (::write(ready[1], "r", 1) != 1) return 4;
        CChild::WaitForParent(release);
        // Whatever a connection brought: any byte means the start talked to the squatter.
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        int got = 0;
        for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0; ::close(client)) {
            char buffer[64];
            got += ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT) > 0;
        }
        return got ? 5 : 0;
    }));
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(1, ::read(ready[0], &c, 1)) << "the squatter did not start";
    ::close(ready[0]);

    CSingleInstance start(name);
    EXPECT_FALSE(start.HandOff(CSingleInstance::kActivate, 2000));
    EXPECT_TRUE(start.LastError().contains("not this user's")) << start.LastError().toStdString();
    ASSERT_TRUE(start.Listen()) << start.LastError().toStdString();
    EXPECT_EQ(0, squatter.Stop()) << "the squatter was handed a request or failed to listen";

    // The name is now this user's: a later start hands over to it.
    int activations = 0;
    QObject::connect(&start, &CSingleInstance::ActivationRequested, [&] { ++activations; });
    CSingleInstance later(name);
    bool handedOff = false;
    QTimer::singleShot(0, [&] { handedOff = later.HandOff(); });
    ASSERT_TRUE(WaitFor([&] { return activations == 1; }));
    EXPECT_TRUE(handedOff);
}

// Another user connecting to a running instance gets nothing done, even when the socket's
// own permission would let it in.
TEST(SingleInstanceUsers, RequestsOfAnotherUserAreIgnored) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // The socket's folder must be one the other user can reach, wherever the build lies (a
    // checkout under a private home folder is closed to it).
    CReachableDir dir;
    ASSERT_TRUE(dir.IsValid()) << dir.Error();
    const QString name = dir.FilePath("Tarvoline-primary");
    CSingleInstance primary(name);
    ASSERT_TRUE(primary.Listen());
    ASSERT_EQ(0, ::chmod(QFile::encodeName(name).constData(), 0777));
    int activations = 0, opens = 0, loads = 0;
    QObject::connect(&primary, &CSingleInstance::ActivationRequested, [&] { ++activations; });
    QObject::connect(&primary, &CSingleInstance::OpenFileRequested, [&] { ++opens; });
    QObject::connect(&primary, &CSingleInstance::PostLinkLoadFileRequested, [&] { ++loads; });

    const std::string path = QFile::encodeName(name).toStdString();
    CChild intruder;
    ASSERT_TRUE(intruder.Start([&](int) {
        // The primary may drop the connection before the request is written: the write then
        // fails, which must not end the child.
        ::signal(SIGPIPE, SIG_IGN);
        if (!BecomeOtherUser()) return 2;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = Address(path);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return 3;
        const char request[] = "activate\nopen /etc/passwd\npostlink-load /etc/shadow\n";
        const ssize_t written = ::write(fd, request, sizeof request - 1);
        if (written < 0 && (errno == EPIPE || errno == ECONNRESET)) return 0;  // dropped already
        if (written != ssize_t(sizeof request - 1)) return 4;
        // The primary closes the connection without reading: end of file (or a reset) here.
        char buffer[16];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        return got <= 0 ? 0 : 5;
    }));
    // The child ends when the primary drops it, which needs the event loop running.
    // The child's alarm ends it within 20 s at worst, so the join is bounded.
    std::atomic<int> status = -1;
    std::thread reaper([&] { status = intruder.Stop(); });
    const bool dropped = WaitFor([&] { return status >= 0; }, 10000);
    reaper.join();
    ASSERT_TRUE(dropped) << "the connection was not dropped";
    EXPECT_EQ(0, status);
    QTest::qWait(3 * CSingleInstance::kCoalesceMs);
    EXPECT_EQ(0, activations);
    EXPECT_EQ(0, opens);
    EXPECT_EQ(0, loads);

    // This user's own request still gets through.
    CSingleInstance mine(name);
    QTimer::singleShot(0, [&] { mine.HandOff(); });
    EXPECT_TRUE(WaitFor([&] { return activations == 1; }));
}

// Sets an environment variable for one scope and puts the old value back.
class CEnvScope {
public:
    CEnvScope(const char* name, const QByteArray* value) : m_name(name) {
        m_had = qEnvironmentVariableIsSet(name);
        m_old = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~CEnvScope() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// Without a session directory the socket goes into a directory of this user's under the
// temporary directory, made 0700, and used only as long as it stays so.
TEST(SingleInstance, WithoutARuntimeDirectoryItUsesAPrivateOneOfItsOwn) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray tmpPath = QFile::encodeName(tmp.path());
    CEnvScope noRuntime("XDG_RUNTIME_DIR", nullptr);
    CEnvScope tmpDir("TMPDIR", &tmpPath);
    const QString own = tmp.path() + QString("/Tarvoline-%1").arg(::getuid());

    // Made with mode 0700 whatever the umask lets through.
    const mode_t oldMask = ::umask(0);
    QString error;
    const QString name = CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error);
    ::umask(oldMask);
    ASSERT_FALSE(name.isEmpty()) << error.toStdString();
    EXPECT_EQ(own, QFileInfo(name).path());
    struct stat st{};
    ASSERT_EQ(0, ::lstat(QFile::encodeName(own).constData(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    EXPECT_EQ(::getuid(), st.st_uid);
    // The same directory serves the next start.
    EXPECT_EQ(name, CSingleInstance::SocketPathFor("/x/Tarvoline.conf"));

    // Opened up to others: refused, and the program runs on its own.
    ASSERT_EQ(0, ::chmod(QFile::encodeName(own).constData(), 0755));
    error.clear();
    EXPECT_TRUE(CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error).isEmpty());
    EXPECT_TRUE(error.contains("0755")) << error.toStdString();
    EXPECT_TRUE(error.contains(own)) << error.toStdString();
    CSingleInstance alone(CSingleInstance::SocketPathFor("/x/Tarvoline.conf"));
    EXPECT_TRUE(alone.Name().isEmpty());
    EXPECT_FALSE(alone.HandOff(CSingleInstance::kActivate, 200));
    EXPECT_FALSE(alone.Listen());

    // A symbolic link in its place, even to a private directory of this user's: refused.
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(QDir().mkdir(tmp.path() + "/elsewhere"));
    ASSERT_EQ(0, ::chmod(QFile::encodeName(tmp.path() + "/elsewhere").constData(), 0700));
    ASSERT_TRUE(QFile::link(tmp.path() + "/elsewhere", own));
    error.clear();
    EXPECT_TRUE(CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error).isEmpty());
    EXPECT_TRUE(error.contains("symbolic link")) << error.toStdString();

    // Something that is not a directory: refused too.
    ASSERT_TRUE(QFile::remove(own));
    QFile plain(own);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    error.clear();
    EXPECT_TRUE(CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error).isEmpty());
    EXPECT_TRUE(error.contains("not a directory")) << error.toStdString();
}

// A session directory that is not private is not used either.
TEST(SingleInstance, ARuntimeDirectoryOpenToOthersIsPassedOver) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString runtime = tmp.path() + "/run";
    ASSERT_TRUE(QDir().mkdir(runtime));
    ASSERT_EQ(0, ::chmod(QFile::encodeName(runtime).constData(), 0755));
    const QByteArray runtimePath = QFile::encodeName(runtime);
    const QByteArray tmpPath = QFile::encodeName(tmp.path());
    CEnvScope runtimeDir("XDG_RUNTIME_DIR", &runtimePath);
    CEnvScope tmpDir("TMPDIR", &tmpPath);
    const QString name = CSingleInstance::SocketPathFor("/x/Tarvoline.conf");
    EXPECT_EQ(tmp.path() + QString("/Tarvoline-%1").arg(::getuid()), QFileInfo(name).path());
}

// The guard works at name: a start listens there and a later one hands over to it.
void ExpectAGuardAt(const QString& name) {
    CSingleInstance first(name);
    ASSERT_TRUE(first.Listen()) << first.LastError().toStdString();
    int activations = 0;
    QObject::connect(&first, &CSingleInstance::ActivationRequested, [&] { ++activations; });
    CSingleInstance second(name);
    bool handedOff = false;
    QTimer::singleShot(0, [&] { handedOff = second.HandOff(); });
    ASSERT_TRUE(WaitFor([&] { return activations == 1; })) << name.toStdString();
    EXPECT_TRUE(handedOff);
}

// A session directory that its owner cannot write to (mode 0500): the socket goes to the
// private directory under the temporary directory, where it can be made. Root writes anywhere
// and is not held back by the mode; the user without that right is tried in a child.
TEST(SingleInstanceFallback, ARuntimeDirectoryClosedToItsOwnerIsPassedOver) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString runtime = tmp.path() + "/run";
    ASSERT_TRUE(QDir().mkdir(runtime));
    ASSERT_EQ(0, ::chmod(QFile::encodeName(runtime).constData(), 0500));
    const QByteArray runtimePath = QFile::encodeName(runtime);
    const QByteArray tmpPath = QFile::encodeName(tmp.path());
    {
        CEnvScope runtimeDir("XDG_RUNTIME_DIR", &runtimePath);
        CEnvScope tmpDir("TMPDIR", &tmpPath);
        QString error;
        const QString name = CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error);
        ASSERT_FALSE(name.isEmpty()) << error.toStdString();
        if (::geteuid() != 0) {
            EXPECT_EQ(tmp.path() + QString("/Tarvoline-%1").arg(::getuid()), QFileInfo(name).path());
        }
        ExpectAGuardAt(name);
    }
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    if (::geteuid() != 0) return;

    // As the other user, in folders of its own that it can reach.
    CReachableDir reachable;
    ASSERT_TRUE(reachable.IsValid()) << reachable.Error();
    const std::string otherRuntime = QFile::encodeName(reachable.FilePath("run")).toStdString();
    const std::string otherTmp = QFile::encodeName(reachable.FilePath("tmp")).toStdString();
    for (const std::string& dir : {otherRuntime, otherTmp}) {
        ASSERT_EQ(0, ::mkdir(dir.c_str(), 0700));
        ASSERT_EQ(0, ::chown(dir.c_str(), kOtherUid, kOtherUid));
    }
    ASSERT_EQ(0, ::chmod(otherRuntime.c_str(), 0500));
    int result[2];
    ASSERT_EQ(0, ::pipe(result));
    CChild other;
    ASSERT_TRUE(other.Start([&](int) {
        ::close(result[0]);
        if (!BecomeOtherUser()) return 2;
        ::setenv("XDG_RUNTIME_DIR", otherRuntime.c_str(), 1);
        ::setenv("TMPDIR", otherTmp.c_str(), 1);
        const std::string name =
            QFile::encodeName(CSingleInstance::SocketPathFor("/x/Tarvoline.conf")).toStdString();
        // The socket can be made where the start would listen.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = Address(name);
        const bool bound = !name.empty() && fd >= 0 &&
                           ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        const std::string report = (bound ? "bound " : "unbound ") + name;
        return ::write(result[1], report.data(), report.size()) == ssize_t(report.size()) ? 0 : 3;
    }));
    ::close(result[1]);
    EXPECT_EQ(0, other.Stop());
    char buffer[512] = {};
    const ssize_t got = ::read(result[0], buffer, sizeof buffer - 1);
    ::close(result[0]);
    ASSERT_GT(got, 0);
    const std::string report(buffer, size_t(got));
    EXPECT_EQ(0u, report.rfind("bound " + otherTmp + "/Tarvoline-" + std::to_string(kOtherUid) + "/Tarvoline-", 0))
        << report;
}

// Folders so deep that a socket in them would pass the system's limit on its path: the socket
// goes to a private directory under /tmp, its path within the limit.
TEST(SingleInstanceFallback, DeepFoldersGiveASocketWithinTheLimit) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QString deep = tmp.path();
    while (QFile::encodeName(deep).size() < 200) deep += "/deeper-and-deeper";
    const QString runtime = deep + "/run";
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_EQ(0, ::chmod(QFile::encodeName(runtime).constData(), 0700));
    const QByteArray runtimePath = QFile::encodeName(runtime);
    const QByteArray deepPath = QFile::encodeName(deep);
    CEnvScope runtimeDir("XDG_RUNTIME_DIR", &runtimePath);
    CEnvScope tmpDir("TMPDIR", &deepPath);
    QString error;
    const QString name = CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error);
    ASSERT_FALSE(name.isEmpty()) << error.toStdString();
    EXPECT_LE(QFile::encodeName(name).size(), CSingleInstance::kMaxSocketPath);
    EXPECT_EQ(QString("/tmp/Tarvoline-%1").arg(::getuid()), QFileInfo(name).path());
    ExpectAGuardAt(name);
}

// Another user took the private directory's name under the temporary directory first: the next
// spare name is made this user's own; with every name taken, the reason says whose they are.
TEST(SingleInstanceFallback, ANameTakenByAnotherUserIsPassedOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray tmpPath = QFile::encodeName(tmp.path());
    CEnvScope noRuntime("XDG_RUNTIME_DIR", nullptr);
    CEnvScope tmpDir("TMPDIR", &tmpPath);
    const QString own = tmp.path() + QString("/Tarvoline-%1").arg(::getuid());
    auto squat = [](const QString& path) {
        const QByteArray bytes = QFile::encodeName(path);
        return ::mkdir(bytes.constData(), 0777) == 0 && ::chmod(bytes.constData(), 0777) == 0 &&
               ::chown(bytes.constData(), kOtherUid, kOtherUid) == 0;
    };
    ASSERT_TRUE(squat(own));
    QString error;
    const QString name = CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error);
    ASSERT_FALSE(name.isEmpty()) << error.toStdString();
    EXPECT_EQ(own + "-1", QFileInfo(name).path());
    struct stat st{};
    ASSERT_EQ(0, ::lstat(QFile::encodeName(own + "-1").constData(), &st));
    EXPECT_EQ(::getuid(), st.st_uid);
    EXPECT_EQ(0700u, st.st_mode & 07777);
    ExpectAGuardAt(name);

    // Every name taken: no guard, and the reason says why.
    ASSERT_TRUE(QDir(own + "-1").removeRecursively());
    for (int spare = 1; spare <= CSingleInstance::kSpareDirectoryNames; ++spare)
        ASSERT_TRUE(squat(own + QString("-%1").arg(spare)));
    error.clear();
    EXPECT_TRUE(CSingleInstance::SocketPathFor("/x/Tarvoline.conf", &error).isEmpty());
    EXPECT_TRUE(error.contains(QString("belongs to user %1").arg(kOtherUid))) << error.toStdString();
}

// A primary with its signals counted.
struct CCountingPrimary {
    explicit CCountingPrimary(const QString& name) : instance(name) {
        QObject::connect(&instance, &CSingleInstance::ActivationRequested, [this] { ++activations; });
        QObject::connect(&instance, &CSingleInstance::OpenFileRequested,
                         [this](const QString& path) { opened.append(path); });
    }
    CSingleInstance instance;
    int activations = 0;
    QStringList opened;
};

QString UniqueName(const char* what) {
    return QString("TarvolineTest-%1-%2").arg(what).arg(::getpid());
}

// The longest request is taken whole; one byte more drops the connection unread, and the
// primary goes on serving.
TEST(SingleInstance, ALineLongerThanTheLimitIsDroppedAndTheConnectionClosed) {
    const QString name = UniqueName("limit");
    CCountingPrimary primary(name);
    ASSERT_TRUE(primary.instance.Listen());

    // "open " + path + newline: exactly kMaxRequest bytes.
    const QByteArray longest =
        "/" + QByteArray(CSingleInstance::kMaxRequest - int(sizeof "open /"), 'a');
    QLocalSocket fits;
    fits.connectToServer(name);
    ASSERT_TRUE(fits.waitForConnected(2000));
    const QByteArray line = "open " + longest + "\n";
    ASSERT_EQ(CSingleInstance::kMaxRequest, line.size());
    fits.write(line);
    ASSERT_TRUE(fits.waitForBytesWritten(2000));
    ASSERT_TRUE(WaitFor([&] { return primary.opened.size() == 1; }));
    EXPECT_EQ(QString::fromLatin1(longest), primary.opened.value(0));
    fits.disconnectFromServer();

    // One byte more, in one write and in pieces.
    for (const int piece : {CSingleInstance::kMaxRequest + 1, 1000}) {
        QLocalSocket tooLong;
        tooLong.connectToServer(name);
        ASSERT_TRUE(tooLong.waitForConnected(2000));
        const QByteArray over = "open " + longest + "b\n";
        ASSERT_EQ(CSingleInstance::kMaxRequest + 1, over.size());
        for (qsizetype at = 0; at < over.size(); at += piece) {
            tooLong.write(over.mid(at, piece));
            tooLong.flush();
            QTest::qWait(10);
        }
        EXPECT_TRUE(WaitFor([&] { return tooLong.state() == QLocalSocket::UnconnectedState; }))
            << "a line of " << over.size() << " bytes in pieces of " << piece
            << " kept its connection";
    }
    QTest::qWait(3 * CSingleInstance::kCoalesceMs);
    EXPECT_EQ(1, primary.opened.size());

    // Without any newline at all: dropped once the limit is passed.
    QLocalSocket endless;
    endless.connectToServer(name);
    ASSERT_TRUE(endless.waitForConnected(2000));
    endless.write(QByteArray(64 * 1024, 'x'));
    EXPECT_TRUE(WaitFor([&] { return endless.state() == QLocalSocket::UnconnectedState; }));

    CSingleInstance later(name);
    QTimer::singleShot(0, [&] { later.HandOff(); });
    EXPECT_TRUE(WaitFor([&] { return primary.activations == 1; }));
}

// A burst of the same request is handed on once; after the burst the next one counts again.
TEST(SingleInstance, RepeatedRequestsInABurstCoalesce) {
    const QString name = UniqueName("burst");
    CCountingPrimary primary(name);
    ASSERT_TRUE(primary.instance.Listen());

    // Ten starts asking to be raised, each on its own connection, and one asking ten times.
    std::vector<std::unique_ptr<QLocalSocket>> starts;
    for (int i = 0; i < 10; ++i) {
        starts.push_back(std::make_unique<QLocalSocket>());
        starts.back()->connectToServer(name);
        ASSERT_TRUE(starts.back()->waitForConnected(2000));
        starts.back()->write("activate\n");
        starts.back()->flush();
    }
    QLocalSocket repeater;
    repeater.connectToServer(name);
    ASSERT_TRUE(repeater.waitForConnected(2000));
    repeater.write(QByteArray("activate\n").repeated(10));
    // The same file twice, and a different one.
    const QByteArray file = CSingleInstance::FileRequest(CSingleInstance::kOpen, "/d/demo.RUN").toUtf8();
    const QByteArray other = CSingleInstance::FileRequest(CSingleInstance::kOpen, "/d/other.RUN").toUtf8();
    repeater.write(file + "\n" + file + "\n" + other + "\n");
    repeater.flush();
    ASSERT_TRUE(WaitFor([&] { return primary.activations >= 1 && primary.opened.size() >= 2; }));
    QTest::qWait(3 * CSingleInstance::kCoalesceMs);
    EXPECT_EQ(1, primary.activations);
    EXPECT_EQ(QStringList({"/d/demo.RUN", "/d/other.RUN"}), primary.opened);

    // A later request is a new burst.
    repeater.write(file + "\nactivate\n");
    repeater.flush();
    ASSERT_TRUE(WaitFor([&] { return primary.activations == 2 && primary.opened.size() == 3; }));
    EXPECT_EQ("/d/demo.RUN", primary.opened.value(2));
}

// A sender's connection, read line by line with the event loop running.
struct CAsker {
    explicit CAsker(const QString& name, const QByteArray& lines) {
        socket.connectToServer(name);
        ok = socket.waitForConnected(2000);
        socket.write(lines);
        socket.flush();
    }
    // The next line the window sent, without its newline; empty after the time passes.
    QByteArray Next(int timeoutMs = 5000) {
        WaitFor([&] { return socket.canReadLine(); }, timeoutMs);
        QByteArray line = socket.canReadLine() ? socket.readLine() : QByteArray();
        return line.trimmed();
    }
    QLocalSocket socket;
    bool ok = false;
};

// Every sender gets its own answer, also when its request is one of a burst handed on once;
// a sender that waits gets the verdict as well, the others only the answer.
TEST(SingleInstanceAnswer, EverySenderOfABurstGetsItsOwnAnswer) {
    const QString name = UniqueName("answers");
    CSingleInstance window(name);
    ASSERT_TRUE(window.Listen());
    QStringList loads;
    CHandOver kept;
    QObject::connect(&window, &CSingleInstance::PostLinkLoadFileRequested,
                     [&](const QString& path, CHandOver answer) {
                         loads.append(path);
                         if (path == "/d/b.Bin") {
                             answer.Refuse("Cannot load /d/b.Bin: no such file.");
                             return;
                         }
                         answer.Take();
                         kept = answer;
                     });
    // Nobody takes up "open": its senders are refused when the request is dropped unanswered.
    int activations = 0;
    QObject::connect(&window, &CSingleInstance::ActivationRequested, [&] { ++activations; });

    const QByteArray a = CSingleInstance::FileRequest(CSingleInstance::kPostLinkLoad, "/d/a.Bin").toUtf8();
    CAsker first(name, a + "\n");
    CAsker waiting(name, "wait " + a + "\n");
    CAsker both(name, a + "\n" + CSingleInstance::FileRequest(CSingleInstance::kPostLinkLoad,
                                                             "/d/b.Bin").toUtf8() + "\n");
    CAsker raise(name, "activate\nactivate\n");
    CAsker odd(name, "frobnicate\npostlink-load relative.Bin\nwait activate\nopen /d/x.RUN\n");
    for (CAsker* asker : {&first, &waiting, &both, &raise, &odd}) ASSERT_TRUE(asker->ok);

    EXPECT_EQ("ok", first.Next());
    EXPECT_EQ("ok", waiting.Next());
    EXPECT_EQ("ok", both.Next());
    EXPECT_EQ("refused Cannot load /d/b.Bin: no such file.", both.Next());
    EXPECT_EQ("ok", raise.Next());
    EXPECT_EQ("ok", raise.Next());
    EXPECT_EQ("refused this Tarvoline does not know the request \"frobnicate\"", odd.Next());
    EXPECT_EQ("refused relative.Bin: not an absolute path; nothing was loaded", odd.Next());
    EXPECT_EQ("refused only the load of a named file can be waited for", odd.Next());
    EXPECT_EQ("refused the running Tarvoline did not take up the request", odd.Next());
    EXPECT_EQ(QStringList({"/d/a.Bin", "/d/b.Bin"}), loads);  // a.Bin once for three senders
    EXPECT_EQ(1, activations);

    // The load ends: only the sender that waits hears of it.
    ASSERT_TRUE(kept.Waited());
    kept.Finish(CHandOver::Verdict::Failed, "Post Link, configuration 1:\nthe file is short");
    EXPECT_EQ("failed Post Link, configuration 1: the file is short", waiting.Next());
    EXPECT_EQ("", first.Next(300));
    EXPECT_EQ("", both.Next(1));

    // A verdict never given: the sender that waits is told when the window lets go of it.
    CAsker again(name, "wait " + a + "\n");
    EXPECT_EQ("ok", again.Next());
    kept = CHandOver();
    EXPECT_EQ("failed the running Tarvoline gave up the request before its load ended", again.Next());
}

// The sender's side: the answer read, the verdict waited for, and a window that says nothing
// given up within the bound.
TEST(SingleInstanceAnswer, ASenderReadsTheAnswerAndGivesUpOnASilentWindow) {
    using Outcome = CHandOverResult::Outcome;
    const QString name = UniqueName("ask");
    CSingleInstance window(name);
    ASSERT_TRUE(window.Listen());
    QObject::connect(&window, &CSingleInstance::PostLinkLoadFileRequested,
                     [&](const QString& path, CHandOver answer) {
                         if (path.endsWith("missing.Bin")) {
                             answer.Refuse("Cannot load " + path + ": No such file or directory.");
                             return;
                         }
                         answer.Take();
                         const auto verdict = path.endsWith("good.Bin") ? CHandOver::Verdict::Loaded
                                              : path.endsWith("stop.Bin")
                                                  ? CHandOver::Verdict::Cancelled
                                                  : CHandOver::Verdict::Failed;
                         QTimer::singleShot(200, [answer, verdict]() mutable {
                             answer.Finish(verdict, "the board did not answer");
                         });
                     });
    // The sender blocks, as a second start does; the window's loop runs here meanwhile.
    auto ask = [&](const QString& file, bool wait) {
        std::atomic<bool> done = false;
        CHandOverResult result;
        std::thread sender([&] {
            CSingleInstance start(name);
            result = start.Ask(CSingleInstance::FileRequest(CSingleInstance::kPostLinkLoad, file), wait);
            done = true;
        });
        WaitFor([&] { return done.load(); }, 20000);
        sender.join();
        return result;
    };
    CHandOverResult result = ask("/d/missing.Bin", true);
    EXPECT_EQ(Outcome::Refused, result.outcome);
    EXPECT_EQ("Cannot load /d/missing.Bin: No such file or directory.", result.text);
    EXPECT_EQ(Outcome::Taken, ask("/d/bad.Bin", false).outcome);
    result = ask("/d/bad.Bin", true);
    EXPECT_EQ(Outcome::Failed, result.outcome);
    EXPECT_EQ("the board did not answer", result.text);
    EXPECT_EQ(Outcome::Loaded, ask("/d/good.Bin", true).outcome);
    EXPECT_EQ(Outcome::Cancelled, ask("/d/stop.Bin", true).outcome);
    EXPECT_EQ(Outcome::NotHandedOver, CSingleInstance(UniqueName("nobody")).Ask("activate", false).outcome);

    // A listener that takes the connection and never answers: given up after the bound.
    QLocalServer silent;
    const QString silentName = UniqueName("silent");
    ASSERT_TRUE(silent.listen(silentName));
    CSingleInstance start(silentName);
    result = start.Ask("activate", false, {}, 300);
    EXPECT_EQ(Outcome::NoAnswer, result.outcome);
    EXPECT_TRUE(result.text.contains("gave no answer within 0.3 s")) << result.text.toStdString();
    // One that reads the request and closes without a word, as one of an earlier version does
    // with a request it does not know.
    QLocalServer closer;
    const QString closerName = UniqueName("closer");
    ASSERT_TRUE(closer.listen(closerName));
    std::atomic<bool> done = false;
    std::thread sender([&] {
        CSingleInstance closing(closerName);
        result = closing.Ask(CSingleInstance::FileRequest(CSingleInstance::kOpen, "/d/x.RUN"), true,
                             {}, 20000);
        done = true;
    });
    const bool connected = closer.waitForNewConnection(10000);
    QLocalSocket* accepted = closer.nextPendingConnection();
    if (accepted) {
        WaitFor([&] { return accepted->canReadLine() || accepted->waitForReadyRead(10); }, 10000);
        EXPECT_EQ("wait open /d/x.RUN\n", accepted->readLine());
        accepted->close();
    }
    WaitFor([&] { return done.load(); }, 25000);
    sender.join();
    ASSERT_TRUE(connected);
    EXPECT_EQ(Outcome::NoAnswer, result.outcome);
    EXPECT_TRUE(result.text.contains("without an answer")) << result.text.toStdString();
    // A wait that is interrupted ends at once.
    result = start.Ask("activate", false, [] { return true; }, 20000);
    EXPECT_EQ(Outcome::Interrupted, result.outcome);
}

// Two runs of the program: the second ends at once and the first keeps running.
TEST(SingleInstanceProgram, SecondRunEndsAndTheFirstStays) {
    CTestPty pty;
    const QStringList args = {"--nosplash", "--bind", "COM3=" + QString::fromStdString(pty.SlavePath())};
    QProcess first;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(first.waitForStarted(5000));
    // It is listening once a hand-off succeeds.
    CSingleInstance probe;
    ASSERT_TRUE(WaitFor([&] { return probe.HandOff(CSingleInstance::kActivate, 200); }, 10000));

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(0, second.exitCode());
    EXPECT_EQ(QProcess::Running, first.state());

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(QProcess::NormalExit, first.exitStatus());
    EXPECT_EQ(0, first.exitCode());
}

// SIGTERM ends the program while a message box waits for the user: here the start-up
// message about a port that cannot be opened, before the event loop has started.
TEST(SingleInstanceProgram, SigtermEndsItWithTheStartUpMessageShowing) {
    const QStringList args = {"--nosplash", "--bind", "COM3=/dev/tarvoline-test-no-such-device"};
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(::testing::TempDir()) + "/sigterm-config");
    program.setProcessEnvironment(env);
    program.start(TARVOLINE_PROGRAM, args);
    ASSERT_TRUE(program.waitForStarted(5000));
    // Long enough for the message to show; nobody answers it.
    QTest::qWait(1500);
    ASSERT_EQ(QProcess::Running, program.state());
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(QProcess::NormalExit, program.exitStatus());
    EXPECT_EQ(0, program.exitCode());
}

}  // namespace
