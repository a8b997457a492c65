#pragma once

// Temporary folders, shell commands and byte helpers shared by the converter's tests.

#include <cstdint>
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

}  // namespace tarvoline::postlink::testkit

#include "postlink/build_load_image.h"

namespace tarvoline::postlink::testkit {

// Builds the image of `program` in memory.
BuildResult BuildProgram(const Program& program, int configId = 1);

// The image bytes from `offset` on, `count` of them.
Bytes ImageBytes(const BuildResult& built, std::size_t offset, std::size_t count);

}  // namespace tarvoline::postlink::testkit
