#pragma once

// Files written whole or not at all.
//
// The bytes go to a new temporary file in the target's folder, which takes the target's name
// by rename only once everything is written and on disk. So whatever happens on the way (a
// full disk, a write error, a cancelled transfer, the program ending), the file of the
// target's name is either the old one, untouched, or the complete new one, and no partial or
// temporary file stays behind. A symbolic link at the target's name is replaced by the new
// file, never followed: a link planted beside an input cannot redirect an output elsewhere.
// A file that replaces another keeps its permission bits (a load file the user made 0600 stays
// private), and its owner and group where the writer may give them (root may; a user may keep
// a group of theirs); a group that cannot be kept gets none of the old group's rights. A new
// name, or one that was a symbolic link, gets the mode a plain create gives (0666 less the
// umask).

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace tarvoline::fileio {

class AtomicFile {
  public:
    explicit AtomicFile(std::string target);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Each step returns false on failure and then keeps the errno and a message that names the
    // target and gives the system's text; after a failure only Discard (or the destructor)
    // is meaningful.
    bool Create();
    bool Write(std::span<const std::uint8_t> bytes);
    // Gives the file the permissions of the one it replaces, flushes it to disk and renames it
    // over the target.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    int error() const { return error_; }
    const std::string& errorText() const { return errorText_; }
    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temp_; }

  private:
    bool Fail(int error, const std::string& doing);
    bool KeepOwnershipAndMode(int fd);

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int error_ = 0;
    std::string errorText_;
};

// Writes the concatenation of `parts` to `path` through an AtomicFile. Returns 0 or the errno
// of the failed step; `why`, when given, receives the message of a failure.
int WriteFileWhole(const std::string& path,
                   std::initializer_list<std::span<const std::uint8_t>> parts,
                   std::string* why = nullptr);

// The system's text for an errno (strerror without its thread-safety caveats).
std::string SystemErrorText(int error);

}  // namespace tarvoline::fileio
