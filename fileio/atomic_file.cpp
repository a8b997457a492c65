#include "fileio/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <type_traits>

namespace tarvoline::fileio {
namespace {

// The temporary name keeps the target's name in it, so that a file left by a crash says
// whose it was, but is hidden and never matches the target, even ignoring case.
constexpr std::size_t kLongestNameKept = 200;  // leaves room under the 255-byte name limit
constexpr int kCreateAttempts = 100;

// Names that another local user cannot guess in advance: a name taken already (by a planted
// file or link, which O_EXCL | O_NOFOLLOW refuse to open) only costs another attempt.
std::string RandomPart() {
    static std::atomic<std::uint64_t> counter{0};
    static const std::uint64_t seed = [] {
        std::uint64_t value = 0;
        try {
            std::random_device device;
            value = (std::uint64_t{device()} << 32) ^ device();
        } catch (...) {
        }
        return value ^ static_cast<std::uint64_t>(
                           std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    std::uint64_t mixed = seed + 0x9E3779B97F4A7C15ull * ++counter;
    mixed ^= mixed >> 31;
    mixed *= 0xBF58476D1CE4E5B9ull;
    mixed ^= mixed >> 27;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(mixed));
    return text;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The rename is only durable once the folder itself is on disk; a failure here changes
// nothing about the outcome, so it is not reported.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The permission bits a replaced file had. Set-user and set-group bits are not carried over:
// new content does not silently inherit a privilege given to the old.
constexpr mode_t kKeptModeBits = 0777;

}  // namespace

std::string SystemErrorText(int error) {
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer; the XSI one
    // returns an int. Handle both so the code builds with either.
    auto text = strerror_r(error, buffer, sizeof buffer);
    if constexpr (std::is_same_v<decltype(text), char*>) {
        return text ? std::string(text) : std::string(buffer);
    } else {
        return std::string(buffer);
    }
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::Fail(int error, const std::string& doing) {
    error_ = error;
    errorText_ = doing + ": " + SystemErrorText(error);
    return false;
}

bool AtomicFile::Create() {
    const std::string folder = FolderOf(target_);
    const std::string name = NameOf(target_).substr(0, kLongestNameKept);
    int error = EEXIST;
    for (int attempt = 0; attempt < kCreateAttempts && error == EEXIST; ++attempt) {
        temp_ = folder + "." + name + "." + RandomPart() + ".part";
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            return true;
        }
        error = errno;
    }
    temp_.clear();
    return Fail(error, "Cannot create a file beside " + target_);
}

bool AtomicFile::Write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        return Fail(EBADF, "Cannot write " + target_);
    }
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Fail(n < 0 ? errno : ENOSPC, "Cannot write " + target_);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFile::Commit() {
    if (fd_ < 0) {
        return Fail(EBADF, "Cannot write " + target_);
    }
    const int fd = fd_;
    fd_ = -1;
    if (!KeepOwnershipAndMode(fd)) {
        ::close(fd);
        return false;
    }
    // Without the flush a crash after the rename could leave the target empty on some file
    // systems: the new name would reach the disk before the data.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        return Fail(error, "Cannot write " + target_);
    }
    if (::close(fd) != 0) {
        return Fail(errno, "Cannot write " + target_);
    }
    // rename replaces whatever has the target's name, a symbolic link included, without
    // following it.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        return Fail(errno, "Cannot replace " + target_);
    }
    temp_.clear();
    SyncFolder(FolderOf(target_));
    return true;
}

bool AtomicFile::KeepOwnershipAndMode(int fd) {
    struct stat old {};
    // Nothing to keep for a new name, and a symbolic link is replaced, not followed.
    if (::lstat(target_.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) {
        return true;
    }
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return Fail(errno, "Cannot keep the permissions of " + target_);
    }
    mode_t mode = old.st_mode & kKeptModeBits;
    // Only root can give a file away; a user may keep a group they belong to. Whatever cannot
    // be kept is left as created, and where the group differs from the old file's, the group
    // loses the rights it had there, so that no one gains access the old file denied.
    if (old.st_uid != now.st_uid || old.st_gid != now.st_gid) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        if (::fstat(fd, &now) != 0) {
            return Fail(errno, "Cannot keep the permissions of " + target_);
        }
        if (now.st_gid != old.st_gid) {
            mode &= ~static_cast<mode_t>(S_IRWXG);
        }
    }
    if (::fchmod(fd, mode) != 0) {
        // A file system without modes (FAT) gives every file the same ones: nothing is lost
        // when the new file already has them.
        const int error = errno;
        if (::fstat(fd, &now) != 0 || (now.st_mode & kKeptModeBits) != mode) {
            return Fail(error, "Cannot keep the permissions of " + target_);
        }
    }
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

int WriteFileWhole(const std::string& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts, std::string* why) {
    AtomicFile file(path);
    bool done = file.Create();
    for (auto part = parts.begin(); done && part != parts.end(); ++part) {
        done = file.Write(*part);
    }
    done = done && file.Commit();
    if (!done && why != nullptr) {
        *why = file.errorText();
    }
    return done ? 0 : file.error();
}

}  // namespace tarvoline::fileio
