// Programs built with the m68k cross compiler, loaded by tarvoline-cli into the simulated
// board as ELF, as S3 records and as Intel HEX: the board's memory must hold exactly what
// objcopy's own S-records of the same ELF say, delivered by LOAD (never the record loader), and
// the program must start at its entry or not at all.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "m68k_programs.h"
#include "simulated_board.h"

namespace {

using tarvoline::testing::M68kProgram;
using tarvoline::testing::M68kProgramPath;

struct CliResult {
    int exitCode;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What objcopy's S-records put where, and their start address.
struct RecordImage {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::optional<std::uint32_t> start;
};

RecordImage ReadObjcopyRecords(const std::string& path) {
    RecordImage image;
    std::istringstream lines(Slurp(path));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 4 || line[0] != 'S') continue;
        const auto byteAt = [&](size_t i) {
            return static_cast<std::uint8_t>(std::stoul(line.substr(2 + 2 * i, 2), nullptr, 16));
        };
        const int addressBytes = line[1] == '1' || line[1] == '9' ? 2
                                 : line[1] == '2' || line[1] == '8' ? 3
                                 : line[1] == '3' || line[1] == '7' ? 4
                                                                    : 0;
        if (addressBytes == 0) continue;
        const unsigned count = byteAt(0);
        std::uint32_t address = 0;
        for (int i = 0; i < addressBytes; ++i) address = (address << 8) | byteAt(1 + i);
        if (line[1] >= '7') {
            image.start = address;
            continue;
        }
        for (unsigned i = 0; i + addressBytes + 1 < count; ++i)
            image.bytes[address + i] = byteAt(1 + addressBytes + i);
    }
    return image;
}

size_t CountNotes(const vivaz::testing::SimulatedBoard& board, const std::string& text) {
    size_t n = 0;
    for (const std::string& note : board.notes()) n += note.find(text) != std::string::npos;
    return n;
}

bool AnyNote(const vivaz::testing::SimulatedBoard& board, const std::string& text) {
    return CountNotes(board, text) > 0;
}

std::string Hex8(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

class ProgramLoad : public ::testing::Test {
protected:
    ProgramLoad() {
        dir = ::testing::TempDir() + "/program-load-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir + "/config/Hollowbrook Works");
        std::ofstream(dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nCOM%20Port=COM200\nBaud%20Rate=9600\n"
               "Baud%20Rate%20Tv%20Download=115200\n";
    }

    CliResult Cli(const std::string& arguments) {
        const std::string command = "XDG_CONFIG_HOME='" + dir + "/config' '" TARVOLINE_CLI "' " +
                                    arguments + " >'" + dir + "/out' 2>'" + dir + "/err'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir + "/out"),
                Slurp(dir + "/err")};
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }
    static std::string Port(const vivaz::testing::SimulatedBoard& board) {
        return " --port " + board.devicePath() + " ";
    }

    std::string dir;
};

constexpr std::uint32_t kStaging = 0x2D0000;

// Every byte the board was given outside the staging area is objcopy's (or a gap's zero), and
// every byte of objcopy's is in the board.
void ExpectMemoryAsRecords(const vivaz::testing::SimulatedBoard& board, const RecordImage& want,
                           bool staged) {
    size_t stagedBytes = 0;
    for (const auto& [first, end] : board.writtenRanges()) {
        if (staged && first == kStaging) {
            stagedBytes = end - first;
            continue;
        }
        const std::vector<std::uint8_t> got = board.memory(first, end - first);
        for (std::uint32_t a = first; a < end; ++a) {
            const auto it = want.bytes.find(a);
            const std::uint8_t expected = it == want.bytes.end() ? 0 : it->second;
            ASSERT_EQ(got[a - first], expected) << "at " << Hex8(a);
        }
    }
    for (const auto& [address, value] : want.bytes)
        ASSERT_EQ(board.memory(address, 1)[0], value) << "at " << Hex8(address);
    if (staged) {
        EXPECT_GT(stagedBytes, 0u) << "nothing was loaded at the staging address";
    }
}

TEST_F(ProgramLoad, EachFormatPutsObjcopysBytesInTheBoardByLoadAndStartsAtTheEntry) {
    using namespace tarvoline::testing;
    const M68kProgram programs[] = {kOneSegment, kTwoSegmentsNear, kTwoSegmentsFar, kLowAddress,
                                    kHighAddress, kLoadAddress};
    for (const M68kProgram& program : programs) {
        const RecordImage want = ReadObjcopyRecords(M68kProgramPath(program, ".s37"));
        ASSERT_FALSE(want.bytes.empty()) << program.name;
        ASSERT_EQ(want.start, std::optional<std::uint32_t>(program.address)) << program.name;
        const bool staged = program.address < 0x40000;
        // Every program as the linker left it; the record forms of one staged and one in two
        // runs (the reader's own tests hold all three forms to one another).
        const bool allForms = program.name == kOneSegment.name || program.name == kTwoSegmentsFar.name;
        for (const char* extension : {".elf", ".s37", ".hex"}) {
            if (!allForms && std::string(extension) != ".elf") continue;
            SCOPED_TRACE(std::string(program.name) + extension);
            vivaz::testing::SimulatedBoard board;
            const std::string file = M68kProgramPath(program, extension);
            const CliResult r = Cli("load" + Port(board) + "'" + file + "'");
            ASSERT_EQ(r.exitCode, 0) << r.err;
            // After what the board said at the end (a staged start's report of its records).
            EXPECT_TRUE(r.out.ends_with("Loaded and started " + file + "\n")) << r.out;
            ASSERT_TRUE(board.waitForNote("program started at " + Hex8(program.address)))
                << ::testing::PrintToString(board.notes());
            EXPECT_EQ(board.lastStart(), std::optional<std::uint32_t>(program.address));
            ExpectMemoryAsRecords(board, want, staged);
            // LOAD carried the program: one LOAD a run (the near segments are one run); the
            // record loader saw at most the staged start's three records.
            EXPECT_EQ(CountNotes(board, "LOAD received"), program.runs);
            EXPECT_FALSE(AnyNote(board, "lo ;B3+"));
            EXPECT_EQ(AnyNote(board, "record loader started (lo ;3)"), staged);
            if (staged) {
                EXPECT_TRUE(AnyNote(board, "at " + Hex8(kStaging)))
                    << ::testing::PrintToString(board.notes());
            }
        }
    }
}

TEST_F(ProgramLoad, AnEntryInsideTheImageIsLoadedNotStartedAndFailsLoadAndRun) {
    using namespace tarvoline::testing;
    const RecordImage want = ReadObjcopyRecords(M68kProgramPath(kEntryInside, ".s37"));
    ASSERT_TRUE(want.start.has_value());
    ASSERT_NE(*want.start, kEntryInside.address);
    for (const char* extension : {".elf", ".s37", ".hex"}) {
        SCOPED_TRACE(extension);
        vivaz::testing::SimulatedBoard board;
        const std::string file = M68kProgramPath(kEntryInside, extension);
        const CliResult r = Cli("load" + Port(board) + "'" + file + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out.find("started"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "Loaded " + file + "; not started: its entry " + Hex8(*want.start) +
                             " is not where it was loaded (00020000)\n");
        ExpectMemoryAsRecords(board, want, false);
        EXPECT_FALSE(board.lastStart().has_value());
        EXPECT_FALSE(AnyNote(board, "program started"));
    }
    // run says the same and ends with 1, without waiting for output that cannot come.
    vivaz::testing::SimulatedBoard board;
    const std::string file = M68kProgramPath(kEntryInside, ".elf");
    const CliResult r = Cli("run" + Port(board) + "'" + file + "' --until PASS --timeout 60");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Loaded " + file + "; not started: its entry"), std::string::npos) << r.err;
    EXPECT_FALSE(board.lastStart().has_value());
}

TEST_F(ProgramLoad, RecordsWithoutAStartAreLoadedAndSayTheyWereNotStarted) {
    vivaz::testing::SimulatedBoard board;
    // Four bytes at 0x40000; the end record gives no start address (0).
    const std::string file = Write("nostart.s37", "S30900040000DEADBEEFBA\r\nS70500000000FA\r\n");
    const CliResult r = Cli("load" + Port(board) + "'" + file + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Loaded " + file + "; not started: it has no start address\n");
    EXPECT_EQ(board.memory(0x40000, 4), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_FALSE(board.lastStart().has_value());
}

TEST_F(ProgramLoad, WhatIsNoProgramIsRefusedWithNothingOnTheWireUnlessTheOldRuleIsAsked) {
    // The 28-byte header's fields for a 4-byte image at 0x40000, under a magic of no kind.
    std::string header(28, '\0');
    header[0] = 0x12;
    header[1] = 0x34;
    header[5] = 4;
    header[23] = 0x04;
    const std::string odd = Write("odd.RUN", header + "\x4E\x71\x4E\x75");
    const std::string text = Write("notes.RUN", "These are notes, not a program.\n");
    {
        vivaz::testing::SimulatedBoard board;
        CliResult r = Cli("load" + Port(board) + "'" + text + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, text + " is text, not a program: neither S-records, Intel HEX, an ELF "
                                "executable nor a CP/M-68K load file; nothing was sent.\n");
        r = Cli("load" + Port(board) + "'" + odd + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, odd + " is not a program: it begins with 1234, neither a CP/M-68K load "
                               "file's 601A or 601B nor an ELF executable's; nothing was sent.\n");
        EXPECT_EQ(board.received(), "");
        EXPECT_TRUE(board.writtenRanges().empty());
    }
    {
        // --raw-header: the old rule, a 28-byte header, loaded and started.
        vivaz::testing::SimulatedBoard board;
        const CliResult r = Cli("load" + Port(board) + "--raw-header '" + odd + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(board.memory(0x40000, 4), (std::vector<std::uint8_t>{0x4E, 0x71, 0x4E, 0x75}));
        EXPECT_TRUE(board.waitForNote("program started at 00040000"));
    }
    {
        // An ELF cut short is refused by its reader; nothing goes out either.
        vivaz::testing::SimulatedBoard board;
        const std::string elf = Slurp(M68kProgramPath(tarvoline::testing::kOneSegment, ".elf"));
        const std::string cut = Write("cut.elf", elf.substr(0, 40));
        const CliResult r = Cli("load" + Port(board) + "'" + cut + "'");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(cut), std::string::npos) << r.err;
        EXPECT_EQ(board.received(), "");
    }
}

TEST_F(ProgramLoad, RunTakesAnElfWhateverItsNameAndWaitsForTheProgramsOutput) {
    vivaz::BoardOptions options;
    options.programOutput = "PASS";
    vivaz::testing::SimulatedBoard board(options);
    // The linker's default name has no extension: the magic tells.
    std::filesystem::copy_file(M68kProgramPath(tarvoline::testing::kHighAddress, ".elf"),
                               dir + "/a.out");
    const CliResult r = Cli("run" + Port(board) + "'" + dir + "/a.out' --until PASS --timeout 60");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Starting program at 00100000"), std::string::npos) << r.out;
    EXPECT_FALSE(AnyNote(board, "record loader"));
}

TEST_F(ProgramLoad, RunTakesIntelHexThroughLoadWhileSRecordTextNamedHexKeepsTheRecordLoader) {
    vivaz::BoardOptions options;
    options.programOutput = "PASS";
    vivaz::testing::SimulatedBoard board(options);
    std::filesystem::copy_file(M68kProgramPath(tarvoline::testing::kHighAddress, ".hex"),
                               dir + "/prog.hex");
    const CliResult r = Cli("run" + Port(board) + "'" + dir + "/prog.hex' --until PASS --timeout 60");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Starting program at 00100000"), std::string::npos) << r.out;
    EXPECT_EQ(CountNotes(board, "LOAD received"), 1u);
    EXPECT_FALSE(AnyNote(board, "record loader"));
}

}  // namespace
