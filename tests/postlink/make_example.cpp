// Writes the example program of examples/: a small .Bin with its link map, made with the same
// writer the converter's tests use, so that a new user can try Post Link and Load against the
// simulated board. Usage: make_example DIRECTORY

#include <cstdio>
#include <string>

#include "bin_writer.h"

namespace kit = tarvoline::postlink::testkit;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_example DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];

    kit::Program program;
    program.codeSize = 1024;
    program.aboveA5 = 256;
    program.belowA5 = 256;
    // Configuration 1 loads at 0x20000 (a .RUN the board starts with G); configuration 2 is
    // the same program for a board with its RAM at 0x400000.
    kit::Configuration first;
    first.configId = 1;
    first.loadAddress = 0x20000;
    first.loadFileExt = ".RUN";
    first.sRecordExt = ".REC";
    first.mapExt = ".XMP";
    kit::Configuration second = first;
    second.configId = 2;
    second.loadAddress = 0x400000;
    second.loadFileExt = ".APP";
    second.sRecordExt = ".SRE";
    second.mapExt = ".YMP";
    program.configurations = {first, second};
    const std::string greeting = "Hello from the Tarvoline example program";
    program.codePatches = {{600, kit::Bytes(greeting.begin(), greeting.end())}};
    program.data0 = kit::Data0Builder()
                        .Block(-64)
                        .Copy({'c', 'o', 'u', 'n', 't', 'e', 'r', 0})
                        .Repeat(0x00, 24)
                        .End()
                        .NoData()
                        .ListAt({})
                        .EmptyList()
                        .EmptyList()
                        .EmptyGroup()
                        .Build();

    kit::SaveFile(dir + "/demo.Bin", kit::WriteBinFile(program));
    kit::SaveText(dir + "/demo.MAP",
                  "Link map of demo\r\n"
                  "\r\n"
                  "Segment \"Main\"\r\n"
                  "  main            Code: 000010\tsize 000120\r\n"
                  "  greet           Code: 000258\tsize 000040\r\n"
                  "\r\n"
                  "Globals (A5 world)\r\n"
                  "  counter         Data: -64    \tsize 8\r\n"
                  "  buffer          Data: -56    \tsize 24\r\n");
    std::printf("wrote %s/demo.Bin and %s/demo.MAP\n", dir.c_str(), dir.c_str());
    return 0;
}
