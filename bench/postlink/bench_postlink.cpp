// Times ConvertBinFile on a generated .Bin with a 4 MiB image and over 200,000 relocations,
// beside `objcopy -I binary -O srec --srec-len=32` of the same image, and measures the
// conversion's peak memory. Prints figures; the targets are reported, not enforced.

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bin_writer.h"
#include "postlink/convert.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace tarvoline::postlink;
using namespace tarvoline::postlink::testkit;

constexpr std::uint32_t kCodeSize = 3u << 20;
constexpr std::uint32_t kBelowA5 = 256u << 10;
constexpr std::uint32_t kAboveA5 = 768u << 10;
constexpr std::uint32_t kImageSize = kCodeSize + kBelowA5 + kAboveA5;
constexpr int kRounds = 5;

Program LargeProgram(std::size_t& relocations) {
    Program program;
    program.codeSize = kCodeSize;
    program.aboveA5 = kAboveA5;
    program.belowA5 = kBelowA5;
    Configuration configuration;
    configuration.configId = 1;
    configuration.loadAddress = 0x100040;
    program.configurations = {configuration};

    // Initialised data: half the A5 world copied, the rest in runs and skips.
    Bytes initialised(512u << 10);
    for (std::size_t i = 0; i < initialised.size(); ++i) {
        initialised[i] = static_cast<std::uint8_t>(i * 7);
    }
    Data0Builder data;
    data.Block(-static_cast<std::int32_t>(kBelowA5)).Copy(initialised).End();
    data.Block(0).Repeat(0x11, 100000).Skip(50000).FillFF(50000).End();
    data.Block(300000).Raw({0x01, 1, 2, 0x02, 3, 4, 5}).End();

    std::vector<std::int64_t> a5Words;
    // A list's first entry must reach its word in one step, and only steps go below A5.
    for (std::int64_t p = -16000; p + 4 <= kAboveA5; p += 16) {
        a5Words.push_back(p);
    }
    std::vector<std::int64_t> codeWords;
    for (std::int64_t p = 400; p + 4 <= kCodeSize; p += 20) {
        codeWords.push_back(p);
    }
    std::vector<std::int64_t> loadWords = {0x1000, 0x2000, 0x300000};
    data.ListAt(a5Words).EmptyList().EmptyList();
    data.EmptyList().ListAt(codeWords).ListAt(loadWords);
    relocations = a5Words.size() + codeWords.size() + loadWords.size();
    program.data0 = data.Build();
    return program;
}

std::string MapText() {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "proc%04d     Code: %06X  seg 1\n", i, i * 64);
        text += line;
    }
    for (int i = 0; i < 2000; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "glob%04d     Data: %-7d\n", i, -4 * i);
        text += line;
    }
    return text;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Runs a program without a shell, so its time is not the shell's.
bool Run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

// Resets the kernel's high-water mark so the next peak belongs to what follows.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace

int main() {
    TempDir dir;
    const std::string base = dir / "LARGE";
    std::size_t relocations = 0;
    std::size_t inputSize = 0;
    {
        const Bytes file = WriteBinFile(LargeProgram(relocations));
        inputSize = file.size();
        SaveFile(base + ".Bin", file);
        SaveText(base + ".MAP", MapText());
    }

    // Peak memory of one conversion, above what the process held before it.
    const bool peakReset = ResetPeakMemory();
    const long before = StatusKilobytes("VmRSS:");
    const PostLinkResult first = ConvertBinFile(base, 1);
    const long peak = StatusKilobytes("VmHWM:");
    if (first != 0) {
        std::cerr << "conversion failed with " << first << "\n";
        return 1;
    }

    double convert = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ConvertBinFile(base, 1);
        convert = std::min(convert, Seconds(std::chrono::steady_clock::now() - start));
    }

    // The same image, as objcopy's input.
    const Bytes load = LoadFile(base + ".RUN");
    SaveFile(base + ".img", Bytes(load.begin() + 28, load.end()));
    double objcopy = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!Run({"objcopy", "-I", "binary", "-O", "srec", "--srec-len=32", base + ".img",
                  base + ".objcopy.srec"})) {
            std::cerr << "objcopy failed\n";
            return 1;
        }
        objcopy = std::min(objcopy, Seconds(std::chrono::steady_clock::now() - start));
    }

    const double ratio = convert / objcopy;
    const double mib = 1024.0 * 1024.0;
    const double peakBytes = (peak - before) * 1024.0;
    const double memoryTarget = inputSize + 4.0 * kImageSize;
    std::printf("input .Bin            %.2f MiB, image %.2f MiB, %zu relocations\n",
                inputSize / mib, kImageSize / mib, relocations);
    std::printf("ConvertBinFile        %.1f ms (best of %d, map + S-records + load file)\n",
                convert * 1e3, kRounds);
    std::printf("objcopy -O srec       %.1f ms (best of %d)\n", objcopy * 1e3, kRounds);
    std::printf("ratio                 %.2f (target at most 2.00) %s\n", ratio,
                ratio <= 2.0 ? "met" : "MISSED");
    if (peakReset && before > 0 && peak > 0) {
        std::printf("peak memory           %.2f MiB above the start (target at most %.2f MiB) %s\n",
                    peakBytes / mib, memoryTarget / mib,
                    peakBytes <= memoryTarget ? "met" : "MISSED");
    } else {
        std::printf("peak memory           not measurable here (/proc/self/clear_refs)\n");
    }
    return 0;
}
