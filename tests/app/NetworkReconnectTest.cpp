// A network port that drops its connection is waited for and taken back by the same rule as an
// unplugged adapter, and says so by its address. The far end is a listening socket of the
// test's own.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "RecordingUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"

namespace {

using Clock = std::chrono::steady_clock;

bool PumpUntil(CUiCallQueue& calls, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) calls.WaitAndRun(std::chrono::milliseconds(5));
    return done();
}

class CListener {
public:
    CListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 4);
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~CListener() { ::close(m_fd); }
    int Port() const { return m_port; }
    // The next connection, or -1 when none comes in time; the caller's user-interface thread
    // keeps running meanwhile.
    int Accept(CUiCallQueue& calls) {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            pollfd pf{m_fd, POLLIN, 0};
            if (::poll(&pf, 1, 0) > 0) return ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            calls.WaitAndRun(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Closes with a reset, as a server that is killed or a peer that drops the connection.
void Reset(int fd) {
    linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

TEST(NetworkReconnect, ADroppedConnectionIsToldByAddressWaitedForAndTakenBack) {
    CListener server;
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    const std::string url = "tcp://" + address;
    CMemorySettingsStore store;
    store.WriteProfileString("Devices", "COM3", url);
    CRecordingUi ui;
    CRecordingView view;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    doc.AddView(&view);
    doc.OnNewDocument();
    ASSERT_TRUE(doc.OnUpdateConnected()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    EXPECT_EQ(doc.GetTitle(), "COM3 (" + url + ")");
    EXPECT_EQ(doc.LineStatus(), "COM3  " + url + "  9600 8N1  none");
    int far = server.Accept(calls);
    ASSERT_GE(far, 0);

    Reset(far);
    ASSERT_TRUE(PumpUntil(calls, [&] { return !doc.WaitingFor().empty(); }));
    EXPECT_EQ(doc.GetTitle(), "COM3 (waiting for " + address + ")");
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0], "--- " + address + " went away (Connection reset by peer); waiting for it ---");
    EXPECT_TRUE(ui.messages.empty());

    far = server.Accept(calls);  // the document's next try
    ASSERT_GE(far, 0);
    ASSERT_TRUE(PumpUntil(calls, [&] { return doc.OnUpdateConnected(); }));
    ASSERT_EQ(view.notices.size(), 2u);
    EXPECT_EQ(view.notices[1], "--- reconnected ---");
    EXPECT_EQ(doc.GetTitle(), "COM3 (" + url + ")");
    ASSERT_TRUE(doc.SendChar('x'));
    char byte = 0;
    pollfd pf{far, POLLIN, 0};
    ASSERT_GT(::poll(&pf, 1, 5000), 0);
    ASSERT_EQ(::read(far, &byte, 1), 1);
    EXPECT_EQ(byte, 'x');
    doc.Disconnect();
    doc.RemoveView(&view);
    ::close(far);
}

}  // namespace
