#pragma once

// Builds .Bin files (a resource fork from offset 128) from a description, so that tests,
// benchmarks and examples never depend on opaque binary fixtures.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvoline::postlink::testkit {

using Bytes = std::vector<std::uint8_t>;

void AppendBigEndian16(Bytes& out, std::uint16_t value);
void AppendBigEndian32(Bytes& out, std::uint32_t value);
void PutBigEndian32(Bytes& out, std::size_t at, std::uint32_t value);

struct ResourceEntry {
    std::int16_t number = 0;
    Bytes data;
};

// One entry of the type list. Several entries may name the same type, and an entry may hold
// no resources, to describe forks the linker would not write.
struct TypeEntry {
    std::uint32_t type = 0;
    std::vector<ResourceEntry> resources;
};

// The whole .Bin file: 128 zero bytes, then the fork with a 256-byte header, the data area
// and the map.
Bytes WriteResourceFork(const std::vector<TypeEntry>& types);

// Offsets inside a file made by WriteResourceFork, for tests that corrupt them.
inline constexpr std::size_t kForkDataAreaOffsetField = 128;
inline constexpr std::size_t kForkMapOffsetField = 132;

// The compressed data blocks and relocation lists of DATA 0.
class Data0Builder {
  public:
    // The start of a block, `offset` bytes from the A5 position.
    Data0Builder& Block(std::int32_t offset);
    // Command forms; each splits longer runs over as many commands as it needs.
    Data0Builder& Copy(const Bytes& bytes);               // 1xxxxxxx
    Data0Builder& Skip(int count);                        // 01xxxxxx
    Data0Builder& Repeat(std::uint8_t value, int count);  // 001xxxxx, count >= 2 per command
    Data0Builder& FillFF(int count);                      // 0001xxxx
    Data0Builder& Raw(const Bytes& bytes);                // anything, e.g. 0x01 to 0x04
    Data0Builder& End(std::uint8_t endByte = 0x00);
    // Three empty blocks.
    Data0Builder& NoData();

    // Relocation list entries.
    static Bytes Step(int words);                   // one byte, -64..63 words
    static Bytes LongStep(int words);               // two bytes, -8192..8191 words
    static Bytes SetPosition(std::uint32_t words);  // four bytes, 0..2^30-1 words
    // A list of `count` entries (given as their bytes, concatenated).
    Data0Builder& List(std::int32_t count, const Bytes& entries);
    // A list that relocates the words at the given byte positions (even), in the shortest
    // entries that reach them.
    Data0Builder& ListAt(const std::vector<std::int64_t>& positions);
    Data0Builder& EmptyList();
    Data0Builder& EmptyGroup();  // three empty lists

    // DATA 0 as stored: four unread bytes, then what was added.
    Bytes Build() const;

  private:
    Bytes bytes_;
};

struct Configuration {
    std::uint32_t configId = 1;
    std::uint32_t loadAddress = 0x10000;
    std::uint32_t codeAddress = 0;
    std::uint32_t auxWord12 = 0;
    std::uint32_t dataAddress = 0;
    std::uint32_t auxWord20 = 0;
    std::uint32_t stackBase = 0;
    std::uint32_t stackSize = 0;
    std::uint32_t watchdogRegister = 0;
    std::string loadFileExt = ".RUN";
    std::string sRecordExt = ".REC";
    std::string mapExt = ".XMP";
};

inline constexpr const char* kSignature = "(Tarvoline image header)";

struct Program {
    std::uint32_t aboveA5 = 64;
    std::uint32_t belowA5 = 64;
    std::uint32_t codeSize = 640;
    std::uint32_t signatureOffset = 152;  // where the code carries the signature
    std::uint32_t entryWord = 0x200;      // the word at code offset 10, before relocation
    std::uint32_t tableOffset = 400;      // the configuration table in the code
    // The table's count field; by default the number of configurations.
    std::int64_t configurationCount = -1;
    std::vector<Configuration> configurations = {Configuration{}};
    Bytes data0 = Data0Builder().NoData().EmptyGroup().EmptyGroup().Build();
    // Bytes written over the generated code, by offset, before the table and the signature.
    std::vector<std::pair<std::uint32_t, Bytes>> codePatches;
};

Bytes MakeCode0(std::uint32_t aboveA5, std::uint32_t belowA5);
Bytes MakeCode1(const Program& program);
Bytes MakeConfigurationRecord(const Configuration& configuration);

// CODE 0, CODE 1 and DATA 0 of `program` in one fork.
Bytes WriteBinFile(const Program& program);

void SaveFile(const std::string& path, const Bytes& bytes);
void SaveText(const std::string& path, const std::string& text);
Bytes LoadFile(const std::string& path);

}  // namespace tarvoline::postlink::testkit
