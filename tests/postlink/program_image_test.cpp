// Programs from the cross toolchain read as ELF, S-records and Intel HEX: the runs against
// objcopy's own flat binary of the same ELF, the entry against nm, the gap rule, and a table
// of malformed files that must be refused with what is wrong and where.

#include <elf.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "m68k_programs.h"
#include "postlink/big_endian.h"
#include "postlink/program_image.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

using tarvoline::testing::M68kProgram;
using tarvoline::testing::M68kProgramPath;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out) << "cannot write " << path;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

ProgramImage ReadImage(const std::string& path) {
    ProgramReadResult result = ReadProgramFile(path);
    if (auto* error = std::get_if<ProgramReadError>(&result)) {
        ADD_FAILURE() << path << " refused: " << error->message;
        return {};
    }
    return std::get<ProgramImage>(std::move(result));
}

std::string RefusalOf(const std::string& path) {
    ProgramReadResult result = ReadProgramFile(path);
    if (auto* error = std::get_if<ProgramReadError>(&result)) {
        return error->message;
    }
    return "(accepted)";
}

// _start's address as nm prints it, found without the reader.
std::uint32_t StartSymbol(const M68kProgram& program) {
    const Bytes text = ReadFile(M68kProgramPath(program, ".nm"));
    std::istringstream symbols(std::string(text.begin(), text.end()));
    std::string address, kind, name;
    while (symbols >> address >> kind >> name) {
        if (name == "_start") {
            return static_cast<std::uint32_t>(std::stoul(address, nullptr, 16));
        }
    }
    ADD_FAILURE() << "no _start in " << program.name << ".nm";
    return 0;
}

// objcopy's flat binary starts at the lowest load address and ends with the last byte a
// segment holds in the file; every run must be its bytes there, and nothing else may be in
// it but zeros between runs.
void ExpectRunsMatchObjcopy(const M68kProgram& program, const ProgramImage& image,
                            const std::string& label) {
    const Bytes flat = ReadFile(M68kProgramPath(program, ".bin"));
    ASSERT_EQ(image.runs.size(), program.runs) << label;
    ASSERT_EQ(image.runs.front().address, program.address) << label;
    Bytes covered(flat.size(), 0);
    std::uint32_t previousEnd = 0;
    for (const ProgramRun& run : image.runs) {
        ASSERT_FALSE(run.bytes.empty()) << label;
        ASSERT_GT(run.address, previousEnd == 0 ? 0 : previousEnd + kProgramGapFillLimit - 1) << label;
        const std::size_t from = run.address - program.address;
        ASSERT_LE(from + run.bytes.size(), flat.size()) << label;
        EXPECT_TRUE(std::equal(run.bytes.begin(), run.bytes.end(), flat.begin() + from))
            << label << ": the run at " << std::hex << run.address << " differs from objcopy's";
        std::fill(covered.begin() + from, covered.begin() + from + run.bytes.size(), 1);
        previousEnd = run.address + static_cast<std::uint32_t>(run.bytes.size());
    }
    EXPECT_EQ(previousEnd - program.address, flat.size()) << label << ": the image ends elsewhere";
    for (std::size_t i = 0; i < flat.size(); ++i) {
        if (!covered[i]) {
            ASSERT_EQ(flat[i], 0) << label << ": objcopy has a byte at offset " << i
                                  << " that no run holds";
        }
    }
}

TEST(ProgramImage, ToolchainProgramsReadAlikeInEveryFormat) {
    for (const M68kProgram& program : tarvoline::testing::kM68kPrograms) {
        const std::uint32_t start = StartSymbol(program);
        EXPECT_EQ(start == program.address, program.entryAtStart) << program.name;
        const ProgramImage elf = ReadImage(M68kProgramPath(program, ".elf"));
        for (const char* extension : {".elf", ".s37", ".s28", ".hex"}) {
            const std::string label = std::string(program.name) + extension;
            const ProgramImage image = ReadImage(M68kProgramPath(program, extension));
            ExpectRunsMatchObjcopy(program, image, label);
            EXPECT_TRUE(image.hasEntry) << label;
            EXPECT_EQ(image.entry, start) << label;
            ASSERT_EQ(image.runs.size(), elf.runs.size()) << label;
            for (std::size_t i = 0; i < image.runs.size(); ++i) {
                EXPECT_EQ(image.runs[i].address, elf.runs[i].address) << label;
                EXPECT_EQ(image.runs[i].bytes, elf.runs[i].bytes) << label;
            }
        }
        EXPECT_EQ(elf.format, ProgramFormat::Elf);
        EXPECT_EQ(ReadImage(M68kProgramPath(program, ".s37")).format, ProgramFormat::SRecords);
        EXPECT_EQ(ReadImage(M68kProgramPath(program, ".hex")).format, ProgramFormat::IntelHex);
    }
}

TEST(ProgramImage, SegmentsJoinAcrossASmallGapOnly) {
    using namespace tarvoline::testing;
    const ProgramImage near = ReadImage(M68kProgramPath(kTwoSegmentsNear, ".elf"));
    ASSERT_EQ(near.runs.size(), 1u);
    EXPECT_GT(near.runs[0].bytes.size(), kTwoSegmentsNear.dataAddress - kTwoSegmentsNear.address);
    const ProgramImage far = ReadImage(M68kProgramPath(kTwoSegmentsFar, ".elf"));
    ASSERT_EQ(far.runs.size(), 2u);
    EXPECT_EQ(far.runs[1].address, kTwoSegmentsFar.dataAddress);
    // The data segment's file bytes only: its .bss (memory size beyond file size) is not sent.
    EXPECT_LT(far.runs[1].bytes.size(), 0x100u);
    // Loaded where the linker put it to be loaded, not where it runs.
    const ProgramImage moved = ReadImage(M68kProgramPath(kLoadAddress, ".elf"));
    ASSERT_EQ(moved.runs.size(), 1u);
    EXPECT_LT(moved.runs[0].address + moved.runs[0].bytes.size(), kLoadAddress.dataAddress);
}

// Records made here, with their checksums computed here.
std::string SRecord(char type, std::size_t addressBytes, std::uint32_t address, const Bytes& data) {
    Bytes record;
    record.push_back(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
    for (std::size_t i = addressBytes; i-- > 0;) {
        record.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    }
    record.insert(record.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : record) {
        sum += b;
    }
    record.push_back(static_cast<std::uint8_t>(~sum));
    std::string text = "S";
    text += type;
    static const char digits[] = "0123456789ABCDEF";
    for (std::uint8_t b : record) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text + "\n";
}

std::string S3(std::uint32_t address, const Bytes& data) { return SRecord('3', 4, address, data); }
std::string S7(std::uint32_t entry) { return SRecord('7', 4, entry, {}); }

std::string HexRecord(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    Bytes record{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
                 static_cast<std::uint8_t>(offset), type};
    record.insert(record.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : record) {
        sum += b;
    }
    record.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    std::string text = ":";
    static const char digits[] = "0123456789ABCDEF";
    for (std::uint8_t b : record) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text + "\n";
}

const std::string kHexEnd = ":00000001FF\n";

ProgramImage ParseText(const std::string& text, const std::string& name = "test.s37") {
    ProgramReadResult result =
        ParseProgram(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), name);
    if (auto* error = std::get_if<ProgramReadError>(&result)) {
        ADD_FAILURE() << "refused: " << error->message;
        return {};
    }
    return std::get<ProgramImage>(std::move(result));
}

TEST(ProgramImage, GapOfExactlyTheLimitIsFilledOneMoreIsNot) {
    const Bytes four{1, 2, 3, 4};
    // Out of order in the file: the runs come out ascending all the same.
    const ProgramImage joined =
        ParseText(S3(0x21004 + kProgramGapFillLimit, four) + S3(0x21000, four) + S7(0x21000));
    ASSERT_EQ(joined.runs.size(), 1u);
    EXPECT_EQ(joined.runs[0].address, 0x21000u);
    ASSERT_EQ(joined.runs[0].bytes.size(), 8 + kProgramGapFillLimit);
    EXPECT_EQ(joined.runs[0].bytes[4], 0);
    EXPECT_EQ(joined.runs[0].bytes[3 + kProgramGapFillLimit], 0);
    EXPECT_EQ(joined.runs[0].bytes[4 + kProgramGapFillLimit], 1);

    const ProgramImage apart =
        ParseText(S3(0x21005 + kProgramGapFillLimit, four) + S3(0x21000, four) + S7(0x21000));
    ASSERT_EQ(apart.runs.size(), 2u);
    EXPECT_EQ(apart.runs[0].address, 0x21000u);
    EXPECT_EQ(apart.runs[1].address, 0x21005u + kProgramGapFillLimit);
    EXPECT_EQ(apart.runs[1].bytes, four);
}

TEST(ProgramImage, RecordFilesTakeCrLfBlankLinesLowerCaseAndNoStart) {
    // objcopy's own records with CR LF line ends, lower-case digits and blank lines at the end.
    const M68kProgram& program = tarvoline::testing::kOneSegment;
    std::string text;
    for (char c : ReadFile(M68kProgramPath(program, ".s37"))) {
        if (c == '\n') {
            text += '\r';
        }
        text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    text[0] = 'S';  // the 'S' of the first record stays upper case so the kind is seen
    for (std::size_t at = text.find("\ns"); at != std::string::npos; at = text.find("\ns", at)) {
        text[at + 1] = 'S';
    }
    const ProgramImage image = ParseText(text + "\r\n\r\n\n");
    ExpectRunsMatchObjcopy(program, image, "CR LF records");

    // A start record of 0 says no start address is known.
    const ProgramImage noStart = ParseText(S3(0x20000, {1, 2}) + S7(0));
    EXPECT_FALSE(noStart.hasEntry);
    const ProgramImage hexNoStart =
        ParseText(HexRecord(4, 0, {0, 2}) + HexRecord(0, 0, {1, 2}) + kHexEnd, "test.hex");
    EXPECT_FALSE(hexNoStart.hasEntry);
    ASSERT_EQ(hexNoStart.runs.size(), 1u);
    EXPECT_EQ(hexNoStart.runs[0].address, 0x20000u);
    // An S1 record and an S9 start, S5 counting them.
    const ProgramImage small = ParseText(SRecord('0', 2, 0, FromText("hdr")) +
                                         SRecord('1', 2, 0x1000, {9, 8, 7}) +
                                         SRecord('5', 2, 1, {}) + SRecord('9', 2, 0x1000, {}));
    ASSERT_EQ(small.runs.size(), 1u);
    EXPECT_EQ(small.runs[0].bytes, (Bytes{9, 8, 7}));
    EXPECT_EQ(small.entry, 0x1000u);
    EXPECT_TRUE(small.hasEntry);
}

TEST(ProgramImage, DetectsTheKindFromTheFirstBytes) {
    auto kind = [](const std::string& head) {
        return DetectProgramFile(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());
    };
    EXPECT_EQ(kind("\x7f" "ELF\x01\x02"), ProgramFileKind::Elf);
    EXPECT_EQ(kind("S00F0000"), ProgramFileKind::SRecords);
    EXPECT_EQ(kind("S315"), ProgramFileKind::SRecords);
    EXPECT_EQ(kind(":10000000"), ProgramFileKind::IntelHex);
    EXPECT_EQ(kind(std::string("\x60\x1a\x00\x00", 4)), ProgramFileKind::Unknown);
    EXPECT_EQ(kind("Some text\n"), ProgramFileKind::Unknown);
    EXPECT_EQ(kind(":x"), ProgramFileKind::Unknown);
    EXPECT_EQ(kind("S"), ProgramFileKind::Unknown);
    EXPECT_EQ(kind(""), ProgramFileKind::Unknown);
    EXPECT_EQ(kind(" S315"), ProgramFileKind::Unknown);
}

// ELF fields patched in place, in the 68000's byte order.
Bytes Patched(Bytes elf, std::size_t offset, std::uint32_t value, std::size_t size) {
    EXPECT_LE(offset + size, elf.size());
    if (size == 1) {
        elf[offset] = static_cast<std::uint8_t>(value);
    } else if (size == 2) {
        WriteBigEndian16(elf.data() + offset, static_cast<std::uint16_t>(value));
    } else {
        WriteBigEndian32(elf.data() + offset, value);
    }
    return elf;
}

constexpr std::size_t kFirstHeader = sizeof(Elf32_Ehdr);  // where ld puts the table
std::size_t SegmentField(std::size_t index, std::size_t field) {
    return kFirstHeader + index * sizeof(Elf32_Phdr) + field;
}

struct Malformed {
    const char* name;  // the file's name, which the message must give
    Bytes bytes;
    std::vector<std::string> fragments;
};

TEST(ProgramImage, MalformedFilesAreRefusedSayingWhereAndWhat) {
    using tarvoline::testing::kOneSegment;
    using tarvoline::testing::kTwoSegmentsNear;
    const Bytes one = ReadFile(M68kProgramPath(kOneSegment, ".elf"));
    const Bytes two = ReadFile(M68kProgramPath(kTwoSegmentsNear, ".elf"));
    ASSERT_EQ(WordAt(one, offsetof(Elf32_Ehdr, e_phoff)), kFirstHeader);
    ASSERT_EQ(WordAt(two, offsetof(Elf32_Ehdr, e_phoff)), kFirstHeader);
    const Bytes data{0x4E, 0x75, 0x00, 0x01};
    const std::string good = S3(0x20000, data);
    const std::string goodHex = HexRecord(4, 0, {0, 2}) + HexRecord(0, 0, data);

    std::string badChecksum = good;
    badChecksum[badChecksum.size() - 2] = badChecksum[badChecksum.size() - 2] == '0' ? '1' : '0';
    std::string badDigit = good;
    badDigit[8] = 'G';
    std::string badHexChecksum = HexRecord(0, 0, data);
    badHexChecksum[badHexChecksum.size() - 2] =
        badHexChecksum[badHexChecksum.size() - 2] == '0' ? '1' : '0';

    const std::vector<Malformed> table = {
        {"cut.elf", Bytes(one.begin(), one.begin() + 40), {"ELF header", "truncated", "40 bytes"}},
        {"table.elf", Patched(one, offsetof(Elf32_Ehdr, e_phoff), static_cast<std::uint32_t>(one.size()) - 8, 4),
         {"program header table", "outside the file"}},
        {"segment.elf", Patched(one, SegmentField(0, offsetof(Elf32_Phdr, p_offset)), static_cast<std::uint32_t>(one.size()) - 16, 4),
         {"program header 1 of 1 (PT_LOAD)", "outside the file"}},
        {"wide.elf", Patched(one, EI_CLASS, ELFCLASS64, 1), {"ELF header", "64-bit"}},
        {"little.elf", Patched(one, EI_DATA, ELFDATA2LSB, 1), {"ELF header", "little-endian"}},
        {"pc.elf", Patched(one, offsetof(Elf32_Ehdr, e_machine), EM_386, 2),
         {"ELF header", "machine 3 (EM_386)", "EM_68K"}},
        {"object.elf", Patched(one, offsetof(Elf32_Ehdr, e_type), ET_REL, 2),
         {"ELF header", "not an executable", "ET_REL"}},
        {"entry.elf", Patched(one, offsetof(Elf32_Ehdr, e_entry), 0x1000000, 4),
         {"ELF header", "entry 01000000", "24-bit"}},
        {"overlap.elf", Patched(two, SegmentField(1, offsetof(Elf32_Phdr, p_paddr)), 0x20010, 4),
         {"program header 2 of 2 (PT_LOAD)", "00020010", "overlap", "program header 1 of 2"}},
        {"high.elf", Patched(one, SegmentField(0, offsetof(Elf32_Phdr, p_paddr)), 0xFFFFF0, 4),
         {"program header 1 of 1 (PT_LOAD)", "00FFFFF0", "24-bit address space"}},
        {"wrap.elf", Patched(one, SegmentField(0, offsetof(Elf32_Phdr, p_paddr)), 0xFFFFFFF0, 4),
         {"program header 1 of 1 (PT_LOAD)", "FFFFFFF0", "wrap"}},
        {"memsz.elf", Patched(one, SegmentField(0, offsetof(Elf32_Phdr, p_memsz)), 4, 4),
         {"program header 1 of 1 (PT_LOAD)", "exceeds its memory size"}},
        {"empty.elf", Patched(one, SegmentField(0, offsetof(Elf32_Phdr, p_type)), PT_NULL, 4),
         {"no loadable segment"}},

        {"checksum.s37", FromText(badChecksum + S7(0x20000)),
         {"line 1", "wrong checksum"}},
        {"digit.s37", FromText(badDigit + S7(0x20000)), {"line 1", "'G' at column 9", "not a hexadecimal digit"}},
        {"short.s37", FromText(good.substr(0, good.size() - 5) + "\n" + S7(0x20000)), {"line 1", "short record"}},
        {"long.s37", FromText(good.substr(0, good.size() - 1) + "00\n" + S7(0x20000)), {"line 1", "bad length"}},
        {"tiny.s37", FromText("S1020000\n" + S7(0x20000)), {"line 1", "bad length"}},
        {"type.s37", FromText(good + SRecord('4', 2, 0, {}) + S7(0x20000)), {"line 2", "unknown record type S4"}},
        {"noend.s37", FromText(good), {"no end record"}},
        {"after.s37", FromText(good + S7(0x20000) + "\n" + good), {"line 4", "after the end record of line 2"}},
        {"overlap.s37", FromText(S3(0x20000, Bytes(16, 1)) + S3(0x30000, data) + S3(0x2000E, data) + S7(0x20000)),
         {"line 3", "0002000E to 0002000F", "overlap", "line 1"}},
        {"count.s37", FromText(good + SRecord('5', 2, 2, {}) + S7(0x20000)), {"line 2", "count record says 2"}},
        {"text.s37", FromText(good + "hello\n" + S7(0x20000)), {"line 2", "not an S-record"}},
        {"high.s37", FromText(S3(0xFFFFFE, data) + S7(0x20000)), {"line 1", "24-bit address space"}},
        {"nodata.s37", FromText(SRecord('0', 2, 0, {}) + S7(0x20000)), {"no data records"}},

        {"checksum.hex", FromText(badHexChecksum + kHexEnd), {"line 1", "wrong checksum"}},
        {"type.hex", FromText(goodHex + HexRecord(6, 0, {}) + kHexEnd), {"line 3", "unknown record type 06"}},
        {"noend.hex", FromText(goodHex), {"no end-of-file record"}},
        {"after.hex", FromText(goodHex + kHexEnd + goodHex), {"line 4", "after the end-of-file record of line 3"}},
        {"short.hex", FromText(":0000\n" + kHexEnd), {"line 1", "short record"}},
        {"length.hex", FromText(":0400000001FB\n" + kHexEnd), {"line 1", "short record"}},
        {"long.hex", FromText(HexRecord(0, 0, data).substr(0, 19) + "00\n" + kHexEnd), {"line 1", "bad length"}},
        {"segment.hex", FromText(HexRecord(0, 0xFFFE, data) + kHexEnd), {"line 1", "past the end of its 64 KiB segment"}},
        {"start.hex", FromText(goodHex + HexRecord(5, 0, {0, 2, 0, 0}) + HexRecord(5, 0, {0, 2, 0, 4}) + kHexEnd),
         {"line 4", "start address 00020004 differs from 00020000 of line 3"}},
        {"high.hex", FromText(HexRecord(4, 0, {1, 0}) + HexRecord(0, 0, data) + kHexEnd), {"line 2", "01000000", "24-bit"}},
        {"extended.hex", FromText(HexRecord(4, 0, {2}) + kHexEnd), {"line 1", "extended address record of 1"}},

        {"notes.txt", FromText("Some notes\n"), {"not a program file", "'S' 'o'"}},
        {"nothing.elf", Bytes{}, {"empty file"}},
    };
    TempDir dir;
    for (const Malformed& file : table) {
        const std::string path = dir / file.name;
        WriteFile(path, file.bytes);
        const std::string message = RefusalOf(path);
        EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << file.name << ": " << message;
        for (const std::string& fragment : file.fragments) {
            EXPECT_NE(message.find(fragment), std::string::npos)
                << file.name << ": \"" << fragment << "\" not in: " << message;
        }
    }
    EXPECT_NE(RefusalOf(dir / "missing.elf").find("cannot open " + (dir / "missing.elf")),
              std::string::npos);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
