#include "commands.h"

#include "port_options.h"

namespace tarvoline::cli {

const char* const kExitCodesHelp =
    "Exit codes: 0 done, 1 failed (the reason is on standard error), 2 bad usage,\n"
    "124 the --timeout passed, 130 interrupted (Ctrl-C, SIGTERM or SIGHUP).\n";

namespace {
constexpr std::string_view kTermExitCodes =
    "Exit codes: 0 quit with Ctrl-] q (or the end of a script's input), 1 failed (the\n"
    "reason is on standard error), 2 bad usage, 130 interrupted (Ctrl-C while waiting for\n"
    "the device, SIGTERM or SIGHUP).\n";
}  // namespace

namespace {

constexpr std::string_view kPortArguments = "[--port NAME] [--baud RATE] [LINE OPTIONS]";

// For the commands that load through the monitor's record loader.
constexpr std::string_view kFailPatternArgument = " [--fail-pattern REGEX]";
constexpr std::string_view kFailPatternHelp =
    "  --fail-pattern REGEX  what in the board's report of a record load (hex records, the\n"
    "                        staged start) means it failed; for this run only, in place of\n"
    "                        the stored Transfer/Load Failure Pattern. Each line the board\n"
    "                        prints before its closing '%' is matched, ignoring case (POSIX\n"
    "                        extended). The default matches a line \"line N: ...\", a count\n"
    "                        of bad records other than 0 (\"1 bad\"), \"bad record\",\n"
    "                        \"checksum\", \"error\", \"garbled\" and \"no end record\"; a\n"
    "                        clean \"N records, ... bytes loaded, 0 bad\" passes. On a match\n"
    "                        the load fails (exit 1) with the board's line on standard error,\n"
    "                        and nothing is started.\n";

}  // namespace

std::span<const Command> AllCommands() {
    static const std::string loadArgs =
        std::string(kPortArguments) + std::string(kFailPatternArgument) + " [--raw-header] FILE";
    static const std::string hexArgs =
        std::string(kPortArguments) + std::string(kFailPatternArgument) + " FILE";
    static const std::string postLinkLoadArgs =
        std::string(kPortArguments) + std::string(kFailPatternArgument) + " FILE.BIN";
    static const std::string xmodemArgs =
        "send|receive " + std::string(kPortArguments) + " [--timeout SECONDS] FILE";
    static const std::string termArgs =
        std::string(kPortArguments) + std::string(kFailPatternArgument) +
        " [--no-reconnect] [--titles] [--hex]";
    static const std::string runArgs =
        std::string(kPortArguments) + std::string(kFailPatternArgument) +
        " FILE [--until REGEX] [--fail-on REGEX] [--timeout S]";
    static const std::string termDetails =
        PortOptionsHelp() + std::string(kFailPatternHelp) +
        "  --no-reconnect        end (exit 1) when the device goes away, instead of waiting\n"
        "                        for it\n"
        "  --titles              pass the board's window-title sequences (OSC 0 and 2) on to\n"
        "                        the terminal; without it they are dropped\n"
        "  --hex                 show the board's bytes as rows: the offset, 16 bytes in hex\n"
        "                        and the same bytes as characters (others as '.'), as the\n"
        "                        window's View > Hex shows them\n"
        "\nOn a terminal: the keys go to the board as the window's keyboard sends them (Enter\n"
        "as CR, Backspace as BS, Ctrl with a letter as its control code; arrows, Delete and\n"
        "function keys send nothing), and the board's output shows as in the window.\n"
        "The board's escape sequences (colours, erasing a line) reach the terminal whole and\n"
        "in their places.\n"
        "Ctrl-] then:  q  quit    b  send Break    l  load a file (asks for its path; a .Bin\n"
        "is converted first and its .RUN loaded, as Post Link and Load does; a program (.RUN,\n"
        ".APP, an ELF executable or Intel HEX file, .s19 .s28 .s37 .srec .mot S-records) is\n"
        "loaded with LOAD and started; anything else, S-records named .hex among them, is sent\n"
        "as hex records)    ?  help\n"
        "              Ctrl-]  send one Ctrl-]\n"
        "The terminal's settings are put back exactly on every way out.\n"
        "\nA device that goes away (an adapter unplugged) is waited for, as the window does:\n"
        "\"--- DEVICE went away (REASON); waiting for it ---\", then, once it is back with the\n"
        "same name, \"--- reconnected to DEVICE ---\" and the line settings are applied again.\n"
        "Keys typed meanwhile are not sent; Ctrl-] q, or Ctrl-C while waiting, quits.\n"
        "\nWith standard input not a terminal (a pipe, a file): it is copied to the line (a\n"
        "bare LF goes as CR LF, as a paste does) and the board's output to standard output,\n"
        "until the input has ended and the line has been quiet for half a second (at most\n"
        "10 s after the end of the input).\n";
    static const std::string runDetails =
        PortOptionsHelp() + std::string(kFailPatternHelp) +
        "  --until REGEX         exit 0 once the program's output matches REGEX\n"
        "  --fail-on REGEX       exit 1 once it matches REGEX (checked before --until)\n"
        "  --timeout S           exit 124 when S seconds (e.g. 30, 2.5, 2m) have passed first,\n"
        "                        counted from the start, the load included\n"
        "\nFILE: a .Bin is converted and its .RUN loaded and started (Post Link and Load); a\n"
        "program is loaded with LOAD and started as `load` does (G, or the staged start for a\n"
        "program below the monitor's RAM): a .RUN or .APP, an ELF executable or an Intel HEX\n"
        "file (any name), or S-records named .s19, .s28, .s37, .srec or .mot; any other file\n"
        "(S-records named .hex among them) is sent as hex records and started with G. A\n"
        "program that `load` leaves unstarted (its entry is not where it was loaded, or it has\n"
        "no start address) ends the run: 1.\n"
        "The line stays open after the start, so the program's first output is not lost; the\n"
        "board's output goes to standard output (line ends as LF when it is no terminal).\n"
        "Progress shows on standard error only when that is a terminal.\n"
        "It also exits 1 when the load fails or the device goes away.\n"
        "\nREGEX is a POSIX extended regular expression (regcomp with REG_EXTENDED and\n"
        "REG_NEWLINE), matched against all the output seen so far (its last 64 KiB), so a\n"
        "match may span lines: line ends are newlines, ^ and $ match at the start and end of\n"
        "each line, . and [^...] do not match a newline, [[:space:]] does.\n"
        "\nOnly the program's output is matched: what the board sends after the monitor's line\n"
        "announcing the start (\"Starting program at 00020000\"). The monitor's words before\n"
        "it (the load's report, its prompt, the echo of G, a staged start's \"Moved ...\"\n"
        "line) and that line itself are shown but never matched, so --until '^> ' passes on\n"
        "the prompt after the program has returned, not on the one after the load. A monitor\n"
        "that announces no start gives no verdict (--timeout ends the run).\n";
    static const std::string loadDetails = PortOptionsHelp() + std::string(kFailPatternHelp);
    static const std::string loadFileDetails =
        loadDetails +
        "  --raw-header          the old rule for a file that is none of the kinds below: any\n"
        "                        first two bytes but 601A and 601B mean the 28-byte header\n"
        "\nFILE is taken by what it holds, whatever its name:\n"
        "- a CP/M-68K load file (.RUN, .APP: 601A or 601B first): loaded, then started with G,\n"
        "  or below 00040000 with the staged start that moves it into place;\n"
        "- an ELF executable (32-bit, big-endian, 68000), Motorola S-records (S1/S2/S3 data,\n"
        "  S7/S8/S9 start) or Intel HEX: each run of bytes goes with its own LOAD, the one\n"
        "  that begins at the entry last, then the program is started the same way. The\n"
        "  monitor starts a program where it was last loaded, so a program whose entry is not\n"
        "  where that is, or that has no start address, is loaded and not started (\"Loaded\n"
        "  FILE; not started: ...\", exit 1). Below 00040000 the run it starts at goes by\n"
        "  the staged start; a program whose staged copy would land on another of its runs\n"
        "  is refused whole;\n"
        "- anything else (a text file, other bytes) is refused; nothing is sent.\n";
    static const std::string xmodemDetails =
        PortOptionsHelp() +
        "  --timeout SECONDS     how long the other side may take to start\n";
    static const Command kCommands[] = {
        {"postlink", "FILE.BIN",
         "convert a linker .Bin file to load, S-record and map files for each configuration",
         "", RunPostLink},
        {"load", loadArgs,
         "load a program (CP/M-68K load file, ELF, S-records, Intel HEX) with the monitor's "
         "LOAD, then start it",
         loadFileDetails, RunLoad},
        {"loadhex", hexArgs, "send a hex record file through the monitor's record loader",
         loadDetails, RunLoadHex},
        {"postlink-load", postLinkLoadArgs,
         "convert a .Bin file, then load the .RUN file it wrote into the board and start it",
         loadDetails, RunPostLinkLoad},
        {"xmodem", xmodemArgs,
         "send or receive a file with XMODEM (128-byte blocks, CRC or checksum)", xmodemDetails,
         RunXmodem},
        {"term", termArgs, "the board's terminal in the shell (Ctrl-] q quits)", termDetails,
         RunTerm, kTermExitCodes},
        {"run", runArgs,
         "load and start a test program, copy the board's output and wait for its verdict",
         runDetails, RunRun},
        {"ports", "[--json]",
         "list the serial devices present and the port names stored by the window",
         "The stable names under /dev/serial/by-id first, each with the device it leads to and,\n"
         "where the kernel tells it, the USB adapter's vendor and product IDs, maker, product\n"
         "and serial number; then the ttyUSB, ttyACM and ttyS devices (a ttyS only with a UART\n"
         "behind it); then every port name bound to a device in the window's settings\n"
         "(COMn), and the port in use, with the device each leads to or (missing).\n"
         "No device is opened.\n\n"
         "  --json                one JSON object instead: by_id, devices, port_names\n",
         RunPorts},
    };
    return kCommands;
}

}  // namespace tarvoline::cli
