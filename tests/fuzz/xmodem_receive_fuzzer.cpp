// The XMODEM receiver fed what a sender (or the noise on a line) could send. The port is a
// real one, opened on a pseudo-terminal so that saving and setting the line work as on a
// device, but its reads and writes are served here from the input, as a sender that sends a
// burst and then waits for the answer:
//
//   byte 0        bit 0: CRC (else checksum); bit 1: the receiver's byte and block waits are
//                 0 ms, so a pause in the input times them out (else they are long and a
//                 pause is shorter than they are); bits 2-4: retries of a block, 1 to 8
//   then bursts   a 16-bit big-endian length and that many bytes (the rest when fewer are
//                 left). Between two bursts the line is quiet until the receiver answers
//                 (any byte it sends) or has read the quiet line kQuietReads times.
//
// When the input is spent, the transfer is stopped as Cancel would stop it. Checked: a receive
// that did not complete leaves the target file as it was and no file beside it; one that did
// replaced it with as many bytes as it reports and answered the last EOT with ACK.
// XMODEM_FUZZ_TRACE=1 in the environment prints the outcome of each input (to check seeds).

#include <dirent.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QuietUi.h"
#include "comm/CommPort.h"
#include "comm/PortSettings.h"
#include "document/DocumentUi.h"
#include "download/TransferContext.h"
#include "download/Xmodem.h"

namespace {

constexpr int kQuietReads = 8;
constexpr char kOldContents[] = "the file before the transfer\n";

// A port whose far end is the fuzzer's input.
class CScriptedPort : public CCommPort {
  public:
    explicit CScriptedPort(const std::string& device) : CCommPort(device) {}

    void Start(const std::uint8_t* data, std::size_t size) {
        m_data = data;
        m_size = size;
        m_at = 0;
        m_burstEnd = 0;
        m_quiet = false;
        m_stop.store(false);
        m_written.clear();
        NextBurst();
    }
    const std::atomic<bool>& StopFlag() const { return m_stop; }
    const std::vector<std::uint8_t>& Written() const { return m_written; }

    int Read(void* buffer, int count, bool) override {
        if (count <= 0) return 0;
        if (m_quiet) {
            if (++m_quietReads >= kQuietReads) EndQuiet();
            return 0;
        }
        if (m_at == m_burstEnd) {
            // The burst is out: the sender waits for an answer, or has nothing more to say.
            if (m_at == m_size)
                m_stop.store(true);
            else
                m_quiet = true;
            m_quietReads = 0;
            return 0;
        }
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count),
                                                    m_burstEnd - m_at);
        std::memcpy(buffer, m_data + m_at, n);
        m_at += n;
        return static_cast<int>(n);
    }

    int Write(const void* buffer, int count) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        m_written.insert(m_written.end(), bytes, bytes + count);
        if (m_quiet) EndQuiet();
        return count;
    }

  private:
    void EndQuiet() {
        m_quiet = false;
        NextBurst();
    }
    void NextBurst() {
        if (m_size - m_at < 2) {
            m_at = m_burstEnd = m_size;
            return;
        }
        const std::size_t length = (std::size_t{m_data[m_at]} << 8) | m_data[m_at + 1];
        m_at += 2;
        m_burstEnd = m_at + std::min(length, m_size - m_at);
    }

    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0, m_at = 0, m_burstEnd = 0;
    bool m_quiet = false;
    int m_quietReads = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::uint8_t> m_written;
};

struct CBench {
    int master = -1, slave = -1;
    std::string dir, target;
    CScriptedPort* port = nullptr;
};

std::string TempRoot() {
    // Memory-backed when there is one: a completed receive syncs its file.
    if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void WriteOldContents(const std::string& path) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << kOldContents;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int FilesIn(const std::string& dir) {
    int count = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++count;
        closedir(d);
    }
    return count;
}

CBench& Bench() {
    static CBench bench = [] {
        CBench b;
        char name[256] = {};
        if (openpty(&b.master, &b.slave, name, nullptr, nullptr) != 0) __builtin_trap();
        std::string pattern = TempRoot() + "/tarvoline-xmodem-fuzz.XXXXXX";
        if (!mkdtemp(pattern.data())) __builtin_trap();
        b.dir = pattern;
        b.target = b.dir + "/received.bin";
        WriteOldContents(b.target);
        b.port = new CScriptedPort(name);
        if (!b.port->IsOpen()) __builtin_trap();
        return b;
    }();
    return bench;
}

void RemoveBench() {
    CBench& b = Bench();
    ::unlink(b.target.c_str());
    ::rmdir(b.dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Bench();
    std::atexit(RemoveBench);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    CBench& b = Bench();
    XmodemTimings timings;
    timings.crcRequests = (data[0] & 1) ? 1000000 : 0;
    if (data[0] & 2) {
        timings.byteTimeoutMs = 0;
        timings.blockTimeoutMs = 0;
    }
    timings.maxRetries = ((data[0] >> 2) & 7) + 1;

    CPortSettings settings;
    CQuietUi ui;
    b.port->Start(data + 1, size - 1);
    const CTransferContext ctx{*b.port, settings, ui, &b.port->StopFlag()};
    const XmodemOutcome outcome = XmodemReceive(ctx, b.target, timings);

    const std::string now = Contents(b.target);
    if (std::getenv("XMODEM_FUZZ_TRACE"))
        std::fprintf(stderr, "outcome %s bytes %lld blocks %d: %s\n",
                     DescribeXmodemResult(outcome.result), (long long)outcome.bytes,
                     outcome.blocks, outcome.detail.c_str());
    if (FilesIn(b.dir) != 1) __builtin_trap();
    if (!outcome.Ok()) {
        if (now != kOldContents || outcome.detail.empty()) __builtin_trap();
        return 0;
    }
    if (static_cast<std::int64_t>(now.size()) != outcome.bytes ||
        b.port->Written().empty() || b.port->Written().back() != kXmodemAck) {
        __builtin_trap();
    }
    WriteOldContents(b.target);
    return 0;
}
