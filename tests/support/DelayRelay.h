#pragma once
// A pseudo-terminal that stands between a host program and a far serial device (a simulated
// board's pseudo-terminal) and delivers everything late, as a slow link does: a USB adapter, a
// Bluetooth serial port, a board reached over a VPN. For the tests and benchmarks of such links.
//
// Contract
// - Construction opens the far device as a host would (read and write, not as the controlling
//   terminal, raw) and a pseudo-terminal pair whose slave, DevicePath(), the host opens. The
//   relay holds that slave open itself, so a host closing the device never hangs the line up;
//   the slave starts raw at 9600 8N1. With options.link, a symbolic link to DevicePath() is made
//   (and removed at destruction). Throws std::system_error naming the device.
// - Start() serves on a thread of its own; Stop() ends and joins it (it may be called more than
//   once; destruction calls it). What is still queued at Stop() is not delivered.
// - Host to device: every 1 ms or so the relay looks at the line setting the host has set on
//   the slave (speed, data bits, parity, stop bits) and at how many bytes the host has written;
//   each byte carries the setting in force when it was first seen, and a change of setting made
//   after some bytes comes after them (bytes that show up in the same look as a change count as
//   written after it, as when a host sets the line and then sends). Each falls due oneWay after it
//   was read from the pseudo-terminal, and is delivered in order: the setting goes onto the far
//   device first (when it differs from the one last put there), then the bytes. The far end judges
//   bytes by its device's setting when it reads them, so a changed setting waits until 2 ms after
//   the previous bytes were written, giving the far end time to take them at the old setting.
// - Device to host: the device's bytes reach the host oneWay after they were read, in order.
// - With readPause, the host's side is read only every readPause, at most readChunk bytes at a
//   time: what the host wrote waits in the pseudo-terminal, as with a far end that has not yet
//   taken the last bytes when the host closes its descriptor. The relay still looks every tick at
//   how many bytes wait, so each keeps the setting it was written with and the changes stay in
//   their place among them; bytes the host flushes before they were read never reach the device.
// - Nothing is reordered, dropped or duplicated. At most kQueueLimit bytes wait in each direction;
//   beyond that the relay stops reading that side, and the writer backs up as on a slow line.
// - When the far device goes away (hang-up, a failed read, write or line change) the relay still
//   offers the host the device's bytes it holds (for at most 2 s after they fall due), then hangs
//   up the host's side (the host reads end of file or EIO) and ends; Ended() is then true and
//   Error() says why.
// - The members may be called from any thread.

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SDelayRelayOptions {
    std::chrono::milliseconds oneWay{0};
    std::chrono::milliseconds readPause{0};
    std::size_t readChunk = 4096;
    std::string link;
};

class CDelayRelay {
  public:
    static constexpr std::size_t kQueueLimit = 1 << 20;

    CDelayRelay(const std::string& farDevice, const SDelayRelayOptions& options);
    ~CDelayRelay();
    CDelayRelay(const CDelayRelay&) = delete;
    CDelayRelay& operator=(const CDelayRelay&) = delete;

    // The host's side: the device the host program opens.
    const std::string& DevicePath() const { return m_devicePath; }
    const std::string& FarDevice() const { return m_farPath; }

    void Start();
    void Stop();

    // True once the relay has ended on its own (the far device went away).
    bool Ended() const { return m_ended; }
    // Why the relay ended; empty while it runs.
    std::string Error() const;

    // Bytes written to the far device, to the host, and line settings put on the far device.
    std::uint64_t BytesToDevice() const { return m_bytesToDevice; }
    std::uint64_t BytesToHost() const { return m_bytesToHost; }
    std::uint64_t LineChanges() const { return m_lineChanges; }

  private:
    using Clock = std::chrono::steady_clock;

    // The part of a termios that a far UART cares about.
    struct SLineSetting {
        speed_t inSpeed = 0, outSpeed = 0;
        tcflag_t framing = 0;  // CSIZE | CSTOPB | PARENB | PARODD
        bool operator==(const SLineSetting&) const = default;
    };
    static SLineSetting SettingOf(const termios& t);

    struct SItem {
        Clock::time_point due;
        SLineSetting setting;  // host to device only
        std::vector<unsigned char> bytes;
        std::size_t done = 0;
    };

    // Bytes the host wrote that wait unread in the pseudo-terminal, with the setting they were
    // written with; a count of 0 is a change of setting made after the bytes before it.
    struct SUnread {
        std::size_t count;
        SLineSetting setting;
    };

    void Run();
    void CountUnread();
    void DiscardUnread();
    void ReadHost(Clock::time_point now);
    void ReadDevice(Clock::time_point now);
    void DeliverToDevice(Clock::time_point now);
    void DeliverToHost(Clock::time_point now);
    bool ApplySetting(const SLineSetting& setting);
    void DeviceGone(const std::string& why);
    Clock::time_point NextWake(Clock::time_point now) const;

    std::string m_farPath;
    SDelayRelayOptions m_options;
    int m_far = -1;
    int m_master = -1;
    int m_slave = -1;
    std::string m_devicePath;

    // Owned by the relay's thread while it runs.
    std::deque<SItem> m_toDevice, m_toHost;
    std::size_t m_queuedToDevice = 0, m_queuedToHost = 0;
    SLineSetting m_hostSetting;  // the setting last seen on the host's side
    std::deque<SUnread> m_unread;
    std::size_t m_unreadCount = 0;
    SLineSetting m_appliedSetting;  // the setting last put on the far device
    Clock::time_point m_lastDeviceWrite{};
    Clock::time_point m_nextHostRead{};
    bool m_deviceGone = false;
    Clock::time_point m_goneDeadline{};

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    std::atomic<std::uint64_t> m_bytesToDevice{0}, m_bytesToHost{0}, m_lineChanges{0};
    mutable std::mutex m_errorMutex;
    std::string m_error;
};
