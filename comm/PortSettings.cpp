#include "PortSettings.h"

#include <cctype>
#include <limits>

#include "document/SettingsStore.h"

CPortSettings LoadPortSettings(const ISettingsStore* store) {
    CPortSettings s;
    if (!store) return s;
    const char* sec = kComSettingsSection;
    s.m_strComPort = store->GetProfileString(sec, "COM Port", s.m_strComPort);
    s.m_strBaudRate = store->GetProfileString(sec, "Baud Rate", s.m_strBaudRate);
    s.m_strDownloadBaudRate =
        store->GetProfileString(sec, "Baud Rate Tv Download", s.m_strDownloadBaudRate);
    s.m_strParity = store->GetProfileString(sec, "Parity", s.m_strParity);
    s.m_strDataBits = store->GetProfileString(sec, "Data Bits", s.m_strDataBits);
    s.m_strStopBits = store->GetProfileString(sec, "Stop Bits", s.m_strStopBits);
    s.m_strFlowControl = store->GetProfileString(sec, "Flow Control", s.m_strFlowControl);
    s.m_bLocalEcho = store->GetProfileInt(sec, "Local Echo", s.m_bLocalEcho);
    s.m_bSendCRLF = store->GetProfileInt(sec, "Send CRLF", s.m_bSendCRLF);
    return s;
}

void StorePortSettings(ISettingsStore& store, const CPortSettings& s) {
    const char* sec = kComSettingsSection;
    store.WriteProfileString(sec, "COM Port", s.m_strComPort);
    store.WriteProfileString(sec, "Baud Rate", s.m_strBaudRate);
    store.WriteProfileString(sec, "Baud Rate Tv Download", s.m_strDownloadBaudRate);
    store.WriteProfileString(sec, "Parity", s.m_strParity);
    store.WriteProfileString(sec, "Data Bits", s.m_strDataBits);
    store.WriteProfileString(sec, "Stop Bits", s.m_strStopBits);
    store.WriteProfileString(sec, "Flow Control", s.m_strFlowControl);
    store.WriteProfileInt(sec, "Local Echo", s.m_bLocalEcho);
    store.WriteProfileInt(sec, "Send CRLF", s.m_bSendCRLF);
}

DWORD LeadingDecimal(const std::string& text) {
    // Saturates instead of wrapping, so an absurd stored rate stays absurd and is refused.
    std::uint64_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > std::numeric_limits<DWORD>::max()) return std::numeric_limits<DWORD>::max();
    }
    return static_cast<DWORD>(value);
}

CLineSettings TranslateLineSettings(const CPortSettings& s) {
    CLineSettings line;
    line.baudRate = LeadingDecimal(s.m_strBaudRate);
    line.dataBits = static_cast<int>(std::min<DWORD>(LeadingDecimal(s.m_strDataBits), 1000));
    if (s.m_strParity == "Even")
        line.parityCode = kParityEven;
    else if (s.m_strParity == "Odd")
        line.parityCode = kParityOdd;
    else
        line.parityCode = kParityNone;
    line.stopBitCode = (s.m_strStopBits == "2") ? kTwoStopBits : kOneStopBit;
    if (s.m_strFlowControl == "Software")
        line.flowFlags = kFlowXonXoff;
    else if (s.m_strFlowControl == "None")
        line.flowFlags = 0;
    else
        line.flowFlags = kFlowDsrDtr | kFlowCtsRts;  // "Hardware" and anything unknown
    return line;
}
