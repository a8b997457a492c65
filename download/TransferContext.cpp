#include "TransferContext.h"

#include "comm/CommPort.h"

std::string RateChangeRefusal(const CCommPort& port, DWORD rate, DWORD normalRate,
                              const std::string& what) {
    if (rate == normalRate || port.CarriesLineSettings()) return {};
    return what + " needs the line at " + std::to_string(rate) + " baud, but " +
           port.DeviceName() + " is a raw TCP port: the far side keeps its own rate (" +
           std::to_string(normalRate) + " baud here), so the board cannot be reached at another. "
           "Nothing was sent. Serve the port with RFC 2217 (rfc2217://HOST:PORT), or set the "
           "download rate to the normal rate.";
}

CSavedLine::CSavedLine(const CTransferContext& ctx)
    : m_ctx(ctx),
      m_haveConfig(ctx.port.GetState(m_config)),
      m_haveTimeouts(ctx.port.GetTimeouts(m_timeouts)) {}

CSavedLine::~CSavedLine() {
    // Nothing can be put back on a device that has gone away.
    if (m_ctx.port.DeviceLostError() != 0) return;
    m_ctx.port.SetBaudRate(m_ctx.NormalBaud());
    if (m_haveConfig) m_ctx.port.SetState(m_config);
    if (m_haveTimeouts) m_ctx.port.SetTimeouts(m_timeouts);
}
