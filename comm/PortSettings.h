#pragma once
// The nine settings that describe the serial link, how they are stored, and how they become a
// line configuration.

#include <string>

#include "CommTypes.h"

class ISettingsStore;

inline constexpr const char* kComSettingsSection = "COM Settings";

// The rates the line settings offer, for the terminal and for LOAD's blocks: the settings
// dialog's lists, tarvoline-cli's --baud and --download-baud, its help, and (checked by a
// test) its man page and shell completion. 4800 is not among them.
inline constexpr unsigned kOfferedBaudRates[] = {1200,  2400,  9600,   19200,
                                                 38400, 57600, 115200, 230400};

struct CPortSettings {
    std::string m_strComPort = "COM3";
    std::string m_strBaudRate = "9600";
    std::string m_strDownloadBaudRate = "115200";
    std::string m_strParity = "None";
    std::string m_strDataBits = "8";
    std::string m_strStopBits = "1";
    std::string m_strFlowControl = "None";
    int m_bLocalEcho = 0;
    int m_bSendCRLF = 0;

    bool operator==(const CPortSettings&) const = default;
};

// Reads every value with its default; no store gives the defaults.
CPortSettings LoadPortSettings(const ISettingsStore* store);
// Writes the nine values: the seven strings, then the two switches.
void StorePortSettings(ISettingsStore& store, const CPortSettings& settings);

// What the port is told, in the order it is told.
struct CLineSettings {
    DWORD baudRate = 0;
    int parityCode = kParityNone;
    int dataBits = 0;
    int stopBitCode = kOneStopBit;
    DWORD flowFlags = 0;
};

// The decimal value of the leading digits; 0 when the text does not start with a digit.
DWORD LeadingDecimal(const std::string& text);
CLineSettings TranslateLineSettings(const CPortSettings& settings);
