#include "postlink/file_io.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace tarvoline::postlink {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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

int ErrnoOr(int fallback) {
    return errno != 0 ? errno : fallback;
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
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        contents.error = ErrnoOr(ENOENT);
        return contents;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        contents.error = ErrnoOr(EIO);
        return contents;
    }
    const long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        contents.error = ErrnoOr(EIO);
        return contents;
    }
    auto buffer = ByteBuffer::Allocate(static_cast<std::size_t>(length));
    if (!buffer) {
        contents.error = ENOMEM;
        return contents;
    }
    errno = 0;
    const std::size_t read = std::fread(buffer->data(), 1, buffer->size(), file.get());
    if (read != buffer->size()) {
        contents.error = ErrnoOr(EIO);
        return contents;
    }
    contents.bytes = std::move(*buffer);
    return contents;
}

int WriteWholeFile(const std::string& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts) {
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return ErrnoOr(EIO);
    }
    for (auto part : parts) {
        errno = 0;
        if (!part.empty() && std::fwrite(part.data(), 1, part.size(), file.get()) != part.size()) {
            return ErrnoOr(EIO);
        }
        // Flushing each part makes a failure land on the part that caused it: a load file whose
        // image cannot be written still holds its header.
        if (std::fflush(file.get()) != 0) {
            return ErrnoOr(EIO);
        }
    }
    errno = 0;
    if (std::fclose(file.release()) != 0) {
        return ErrnoOr(EIO);
    }
    return 0;
}

}  // namespace tarvoline::postlink
