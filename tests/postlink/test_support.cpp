#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

std::optional<std::string> RunInChild(const std::function<std::string()>& body,
                                      int timeoutSeconds) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::alarm(static_cast<unsigned>(timeoutSeconds));  // the default action ends the child
        const std::string result = body();
        std::size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(fds[1], result.data() + done, result.size() - done);
            if (n <= 0) {
                ::_exit(1);
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return output;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
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
