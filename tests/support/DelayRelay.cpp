#include "DelayRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "pty_line.h"

namespace {

// How often the host's line setting is looked at, and the longest sleep of the relay's thread.
constexpr auto kTick = std::chrono::milliseconds(1);
// A changed setting waits this long after the previous bytes reached the far device.
constexpr auto kSettle = std::chrono::milliseconds(2);
// After the far device went away, its last bytes are offered to the host this long.
constexpr auto kGoneGrace = std::chrono::seconds(2);
constexpr std::size_t kItemLimit = 1 << 16;
constexpr tcflag_t kFraming = CSIZE | CSTOPB | PARENB | PARODD;

std::string SystemText(int error) {
    return std::strerror(error);
}

}  // namespace

CDelayRelay::SLineSetting CDelayRelay::SettingOf(const termios& t) {
    return {cfgetispeed(&t), cfgetospeed(&t), t.c_cflag & kFraming};
}

CDelayRelay::CDelayRelay(const std::string& farDevice, const SDelayRelayOptions& options)
    : m_farPath(farDevice), m_options(options) {
    if (m_options.readChunk == 0)
        m_options.readChunk = 1;
    m_far = ::open(farDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_far < 0)
        throw std::system_error(errno, std::generic_category(), "open " + farDevice);
    termios t{};
    if (::tcgetattr(m_far, &t) != 0) {
        const int e = errno;
        ::close(m_far);
        throw std::system_error(e, std::generic_category(), farDevice + " is not a terminal");
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(HUPCL | CRTSCTS);
    // A read without data must say EAGAIN, so that a read of 0 bytes can only mean a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(m_far, TCSANOW, &t) != 0) {
        const int e = errno;
        ::close(m_far);
        throw std::system_error(e, std::generic_category(), "tcsetattr " + farDevice);
    }
    m_appliedSetting = SettingOf(t);

    vivaz::PtyLine line;
    try {
        line = vivaz::openPtyLine(9600);
    } catch (...) {
        ::close(m_far);
        throw;
    }
    m_master = line.master;
    m_slave = line.slave;
    m_devicePath = line.slavePath;
    termios h{};
    ::tcgetattr(m_master, &h);
    m_hostSetting = SettingOf(h);

    if (!m_options.link.empty()) {
        try {
            vivaz::makeDeviceLink(m_options.link, m_devicePath);
        } catch (...) {
            ::close(m_far);
            vivaz::closePtyLine(line);
            throw;
        }
    }
}

CDelayRelay::~CDelayRelay() {
    Stop();
    if (!m_options.link.empty())
        ::unlink(m_options.link.c_str());
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_far >= 0)
        ::close(m_far);
}

void CDelayRelay::Start() {
    if (m_thread.joinable() || m_stop)
        return;
    m_thread = std::thread([this] { Run(); });
}

void CDelayRelay::Stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::string CDelayRelay::Error() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

void CDelayRelay::Run() {
    try {
        while (!m_stop) {
            const auto now = Clock::now();
            if (!m_deviceGone) {
                ReadHost(now);
                ReadDevice(now);
            }
            if (!m_deviceGone)
                DeliverToDevice(now);
            DeliverToHost(now);
            if (m_deviceGone && (m_toHost.empty() || now >= m_goneDeadline)) {
                // The host sees the line hang up, as when an adapter is pulled out.
                ::close(m_master);
                m_master = -1;
                ::close(m_slave);
                m_slave = -1;
                m_ended = true;
                return;
            }

            pollfd fds[2];
            nfds_t count = 0;
            if (!m_deviceGone && m_queuedToDevice < kQueueLimit && m_toDevice.size() < kItemLimit &&
                now >= m_nextHostRead)
                fds[count++] = {m_master, POLLIN, 0};
            if (!m_deviceGone && m_queuedToHost < kQueueLimit && m_toHost.size() < kItemLimit)
                fds[count++] = {m_far, POLLIN, 0};
            const auto wait = std::max(NextWake(now) - Clock::now(), Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            const timespec timeout{static_cast<time_t>(ns / 1000000000),
                                   static_cast<long>(ns % 1000000000)};
            ::ppoll(fds, count, &timeout, nullptr);
        }
    } catch (const std::exception& e) {
        {
            std::lock_guard lock(m_errorMutex);
            m_error = std::string("the relay failed: ") + e.what();
        }
        m_ended = true;
    }
}

CDelayRelay::Clock::time_point CDelayRelay::NextWake(Clock::time_point now) const {
    // A queue whose first item is due but could not go (the far end or the host is not reading,
    // a line change settling) is tried again at the next tick.
    auto wake = now + kTick;
    if (!m_toDevice.empty() && m_toDevice.front().due > now)
        wake = std::min(wake, m_toDevice.front().due);
    if (!m_toHost.empty() && m_toHost.front().due > now)
        wake = std::min(wake, m_toHost.front().due);
    return wake;
}

void CDelayRelay::ReadHost(Clock::time_point now) {
    // The setting and the count of unread bytes are looked at every tick, read or not, so that
    // each byte and each change keeps its place even while the relay reads slowly. Bytes that
    // show up together with a change are taken as written after it: a host sets the line, then
    // sends (the other way round it waits for an answer first).
    termios t{};
    if (::tcgetattr(m_master, &t) == 0) {
        const SLineSetting setting = SettingOf(t);
        if (!(setting == m_hostSetting)) {
            m_hostSetting = setting;
            m_unread.push_back({0, setting});
        }
    }
    CountUnread();
    // Changes with no unread bytes before them go at once.
    while (!m_unread.empty() && m_unread.front().count == 0) {
        m_toDevice.push_back({now + m_options.oneWay, m_unread.front().setting, {}, 0});
        m_unread.pop_front();
    }
    if (now < m_nextHostRead || m_queuedToDevice >= kQueueLimit || m_toDevice.size() >= kItemLimit)
        return;
    const std::size_t room = std::min(m_options.readChunk, kQueueLimit - m_queuedToDevice);
    std::vector<unsigned char> bytes(std::min<std::size_t>(room, 65536));
    const ssize_t n = ::read(m_master, bytes.data(), bytes.size());
    if (n <= 0)
        return;  // nothing there (the relay's own slave keeps the line up)
    if (m_options.readPause.count() > 0)
        m_nextHostRead = now + m_options.readPause;
    m_queuedToDevice += static_cast<std::size_t>(n);

    // The bytes read are split by the settings they were written with.
    std::size_t at = 0;
    const auto size = static_cast<std::size_t>(n);
    while (at < size) {
        if (m_unread.empty())
            m_unread.push_back({size - at, m_hostSetting});  // arrived just now
        SUnread& segment = m_unread.front();
        if (segment.count == 0) {
            m_toDevice.push_back({now + m_options.oneWay, segment.setting, {}, 0});
            m_unread.pop_front();
            continue;
        }
        const std::size_t take = std::min(segment.count, size - at);
        m_toDevice.push_back({now + m_options.oneWay,
                              segment.setting,
                              {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + take)},
                              0});
        at += take;
        segment.count -= take;
        m_unreadCount -= std::min(m_unreadCount, take);
        if (segment.count == 0)
            m_unread.pop_front();
    }
    while (!m_unread.empty() && m_unread.front().count == 0) {
        m_toDevice.push_back({now + m_options.oneWay, m_unread.front().setting, {}, 0});
        m_unread.pop_front();
    }
}

void CDelayRelay::CountUnread() {
    int pending = 0;
    if (::ioctl(m_master, FIONREAD, &pending) != 0)
        return;
    const auto count = static_cast<std::size_t>(std::max(pending, 0));
    if (count < m_unreadCount)
        DiscardUnread();  // the host flushed what it had written
    if (count > m_unreadCount) {
        m_unread.push_back({count - m_unreadCount, m_hostSetting});
        m_unreadCount = count;
    }
}

void CDelayRelay::DiscardUnread() {
    // What was flushed never reaches the far end; the setting the host has now still does.
    m_unread.clear();
    m_unread.push_back({0, m_hostSetting});
    m_unreadCount = 0;
}

void CDelayRelay::ReadDevice(Clock::time_point now) {
    if (m_queuedToHost >= kQueueLimit || m_toHost.size() >= kItemLimit)
        return;
    pollfd pf{m_far, POLLIN, 0};
    if (::poll(&pf, 1, 0) <= 0)
        return;
    std::vector<unsigned char> bytes(std::min<std::size_t>(kQueueLimit - m_queuedToHost, 65536));
    const ssize_t n = ::read(m_far, bytes.data(), bytes.size());
    if (n > 0) {
        bytes.resize(static_cast<std::size_t>(n));
        m_queuedToHost += bytes.size();
        m_toHost.push_back({now + m_options.oneWay, {}, std::move(bytes), 0});
    } else if (n == 0) {
        DeviceGone("it hung up");
    } else if (errno != EAGAIN && errno != EINTR) {
        DeviceGone("read: " + SystemText(errno));
    } else if (pf.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        DeviceGone("it hung up");
    }
}

void CDelayRelay::DeliverToDevice(Clock::time_point now) {
    while (!m_toDevice.empty() && m_toDevice.front().due <= now) {
        SItem& item = m_toDevice.front();
        if (item.done == 0 && !(item.setting == m_appliedSetting)) {
            if (now < m_lastDeviceWrite + kSettle)
                return;
            if (!ApplySetting(item.setting))
                return;
        }
        while (item.done < item.bytes.size()) {
            const ssize_t n =
                ::write(m_far, item.bytes.data() + item.done, item.bytes.size() - item.done);
            if (n > 0) {
                item.done += static_cast<std::size_t>(n);
                m_queuedToDevice -= static_cast<std::size_t>(n);
                m_bytesToDevice += static_cast<std::uint64_t>(n);
                m_lastDeviceWrite = Clock::now();
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                return;  // the far end is not reading; try again at the next tick
            } else {
                DeviceGone("write: " + SystemText(n < 0 ? errno : EIO));
                return;
            }
        }
        m_toDevice.pop_front();
    }
}

bool CDelayRelay::ApplySetting(const SLineSetting& setting) {
    termios t{};
    if (::tcgetattr(m_far, &t) != 0) {
        DeviceGone("tcgetattr: " + SystemText(errno));
        return false;
    }
    ::cfsetispeed(&t, setting.inSpeed);
    ::cfsetospeed(&t, setting.outSpeed);
    t.c_cflag = (t.c_cflag & ~kFraming) | setting.framing;
    if (::tcsetattr(m_far, TCSANOW, &t) != 0) {
        DeviceGone("tcsetattr: " + SystemText(errno));
        return false;
    }
    m_appliedSetting = setting;
    ++m_lineChanges;
    return true;
}

void CDelayRelay::DeliverToHost(Clock::time_point now) {
    while (!m_toHost.empty() && m_toHost.front().due <= now) {
        SItem& item = m_toHost.front();
        while (item.done < item.bytes.size()) {
            const ssize_t n =
                ::write(m_master, item.bytes.data() + item.done, item.bytes.size() - item.done);
            if (n > 0) {
                item.done += static_cast<std::size_t>(n);
                m_queuedToHost -= static_cast<std::size_t>(n);
                m_bytesToHost += static_cast<std::uint64_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                return;  // the host is not reading; the bytes wait in order
            }
        }
        m_toHost.pop_front();
    }
}

void CDelayRelay::DeviceGone(const std::string& why) {
    if (m_deviceGone)
        return;
    m_deviceGone = true;
    m_goneDeadline = Clock::now() + m_options.oneWay + kGoneGrace;
    std::lock_guard lock(m_errorMutex);
    m_error = "the device " + m_farPath + " went away: " + why;
}
