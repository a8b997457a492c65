// The host end of the line for the simulator's tests: the slave device opened like a serial
// port, with the few operations the monitor dialogues need. Reads never block; waits are sleeps.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vivaz::test {

class HostLine {
  public:
    explicit HostLine(const std::string& device);
    ~HostLine();
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;

    // Raw 8 data bits, no parity; only the speed and stop bits vary.
    void setLine(unsigned baud, int stopBits = 1);
    void write(std::string_view bytes);
    // Writes what the device takes now, without waiting; how many bytes it took.
    std::size_t writeNow(std::string_view bytes);
    // What is queued now, without waiting.
    std::string readNow();
    // Reads until `needle` has arrived (true) or `timeout` passes (false); `got` collects it all.
    bool readUntil(std::string_view needle, std::string& got,
                   std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Reads until the line has been quiet for `quiet`; returns the last byte or -1 if none.
    int drain(std::chrono::milliseconds quiet, std::string* got = nullptr);

  private:
    int fd_ = -1;
};

// The LOAD dialogue as the host runs it, after its wake-up; "ok" or what went wrong.
std::string hostLoad(HostLine& line, const std::vector<unsigned char>& image, unsigned address,
                     unsigned rate, unsigned normalRate = 9600);
// The record loader dialogue ("tom8", `command`, text at 57600, "%"); "ok" or the failing step.
std::string hostRecords(HostLine& line, std::string_view command, std::string_view text,
                        unsigned normalRate = 9600);

}  // namespace vivaz::test
