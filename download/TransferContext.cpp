#include "TransferContext.h"

#include "comm/CommPort.h"

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
