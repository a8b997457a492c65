#pragma once

// Temporary folders, shell commands and byte helpers shared by the converter's tests.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bin_writer.h"

namespace tarvoline::postlink::testkit {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

std::string ShellQuote(const std::string& text);
CommandResult RunCommand(const std::string& command);

std::uint32_t WordAt(const Bytes& bytes, std::size_t at);
std::uint32_t WordAt(const std::uint8_t* bytes, std::size_t at);

bool FileExists(const std::string& path);

// Runs `body` in a forked child and returns what it returned, for tests that change what
// cannot be changed back (the user, limits of the process). nullopt when the child did not
// finish on its own within `timeoutSeconds`, or crashed. The body must not use GoogleTest's
// assertions: the child's results are not the parent's.
std::optional<std::string> RunInChild(const std::function<std::string()>& body,
                                      int timeoutSeconds = 30);

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

}  // namespace tarvoline::postlink::testkit

#include "postlink/build_load_image.h"

namespace tarvoline::postlink::testkit {

// Builds the image of `program` in memory.
BuildResult BuildProgram(const Program& program, int configId = 1);

// The image bytes from `offset` on, `count` of them.
Bytes ImageBytes(const BuildResult& built, std::size_t offset, std::size_t count);

}  // namespace tarvoline::postlink::testkit
