// tarvoline-cli postlink, run as a program.

#include <gtest/gtest.h>

#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

#ifdef TARVOLINE_CLI_PATH

CommandResult Cli(const std::string& arguments) {
    return RunCommand(ShellQuote(TARVOLINE_CLI_PATH) + " " + arguments);
}

Configuration Config(std::uint32_t id) {
    Configuration c;
    c.configId = id;
    c.loadAddress = 0x10000 * id;
    c.codeAddress = 0x40000;
    return c;
}

TEST(Cli, HelpListsThePostLinkCommand) {
    const CommandResult result = Cli("--help");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("postlink FILE.BIN"), std::string::npos) << result.output;
}

TEST(Cli, UnknownCommandIsAUsageError) {
    EXPECT_EQ(Cli("frobnicate").exitCode, 2);
    EXPECT_EQ(Cli("").exitCode, 2);
    EXPECT_EQ(Cli("postlink").exitCode, 2);
}

TEST(Cli, PostLinkSaysWhatEachConfigurationDid) {
    TempDir dir;
    Program program;
    program.configurations = {Config(1), Config(3)};
    SaveFile(dir / "DEMO.Bin", WriteBinFile(program));
    SaveText(dir / "DEMO.MAP", "Code: 0      \n");
    const CommandResult result = Cli("postlink " + ShellQuote(dir / "DEMO.BIN"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string base = dir / "DEMO";
    EXPECT_EQ(result.output, "configuration 1: wrote " + base + ".XMP, " + base + ".REC and " +
                                 base +
                                 ".RUN\n"
                                 "configuration 2: no configuration 2\n"
                                 "configuration 3: wrote " +
                                 base + ".XMP, " + base + ".REC and " + base + ".RUN\n");
}

TEST(Cli, MissingMapIsMentionedButNotAFailure) {
    TempDir dir;
    SaveFile(dir / "DEMO.bin", WriteBinFile(Program{}));
    const CommandResult result = Cli("postlink " + ShellQuote(dir / "DEMO.bin"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("no map rewritten (" + (dir / "DEMO.MAP") + " not found)"),
              std::string::npos)
        << result.output;
}

TEST(Cli, PathWithoutTheExtensionIsRefused) {
    const CommandResult result = Cli("postlink /tmp/DEMO.EXE");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("Invalid .BIN file!"), std::string::npos) << result.output;
}

TEST(Cli, MissingFileFailsWithItsName) {
    TempDir dir;
    const CommandResult result = Cli("postlink " + ShellQuote(dir / "GONE.BIN"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("configuration 1: failed: cannot open " + (dir / "GONE.Bin") +
                                 ": No such file or directory"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("configuration 3: not converted after the failure"),
              std::string::npos);
}

TEST(Cli, MalformedFileIsAFailure) {
    TempDir dir;
    Bytes file = WriteBinFile(Program{});
    file.resize(file.size() - 10);
    SaveFile(dir / "BAD.BIN", file);
    const CommandResult result = Cli("postlink " + ShellQuote(dir / "BAD.BIN"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("configuration 1: failed: "), std::string::npos) << result.output;
}

TEST(Cli, FileWithoutAnyConfigurationIsAFailure) {
    TempDir dir;
    Program program;
    program.configurations = {};
    SaveFile(dir / "NONE.BIN", WriteBinFile(program));
    const CommandResult result = Cli("postlink " + ShellQuote(dir / "NONE.BIN"));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("has no configuration 1, 2 or 3"), std::string::npos)
        << result.output;
}

#endif

}  // namespace
}  // namespace tarvoline::postlink::testkit
