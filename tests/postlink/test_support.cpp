#include "test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tarvoline::postlink::testkit {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "postlink-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::uint32_t WordAt(const std::uint8_t* bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

std::uint32_t WordAt(const Bytes& bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        throw std::out_of_range("word outside the bytes");
    }
    return WordAt(bytes.data(), at);
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace tarvoline::postlink::testkit

namespace tarvoline::postlink::testkit {

BuildResult BuildProgram(const Program& program, int configId) {
    const Bytes file = WriteBinFile(program);
    return BuildLoadImageFromBin(file, configId);
}

Bytes ImageBytes(const BuildResult& built, std::size_t offset, std::size_t count) {
    const std::uint8_t* p = built.image.bytes.data() + offset;
    if (offset + count > built.image.bytes.size()) {
        throw std::out_of_range("outside the image");
    }
    return Bytes(p, p + count);
}

}  // namespace tarvoline::postlink::testkit
