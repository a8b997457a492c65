#include "postlink/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace tarvoline::postlink {
namespace {

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string FindFileIgnoringCase(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path wanted(path);
    if (fs::exists(wanted, error)) {
        return path;
    }
    const std::string name = wanted.filename().string();
    const fs::path directory = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
    std::string best;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::string candidate = it->path().filename().string();
        if (EqualIgnoringAsciiCase(candidate, name) && (best.empty() || candidate < best)) {
            best = std::move(candidate);
        }
    }
    if (best.empty()) {
        return path;
    }
    return wanted.has_parent_path() ? (wanted.parent_path() / best).string() : best;
}

FileContents ReadWholeFile(const std::string& path) {
    FileContents contents;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        contents.error = errno;
        return contents;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        contents.error = errno;
        ::close(fd);
        return contents;
    }
    if (S_ISDIR(st.st_mode)) {
        contents.error = EISDIR;
        ::close(fd);
        return contents;
    }
    const std::size_t length = S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0;
    auto buffer = ByteBuffer::Allocate(length);
    if (!buffer) {
        contents.error = ENOMEM;
        ::close(fd);
        return contents;
    }
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(fd, buffer->data() + done, length - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A file that shrank while it was read is as unreadable as one that fails.
            contents.error = n < 0 ? errno : EIO;
            ::close(fd);
            return contents;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    contents.bytes = std::move(*buffer);
    return contents;
}

}  // namespace tarvoline::postlink
