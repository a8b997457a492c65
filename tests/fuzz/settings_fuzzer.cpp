// Any text as the user's settings file (the INI form the window program keeps), read as the
// command-line tool reads it, then every value the document and the terminal take from the
// store: the port settings and the line configuration they become, the port's device, the
// font, the colours, the wrap, the capture options, the recent files and the window size, and
// the first-run defaults written over what was read. The text reaches the reader through an
// in-memory file; nothing touches the disk.

#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "QuietUi.h"
#include "comm/LineTermios.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "document/FirstRunDefaults.h"
#include "document/IniSettingsStore.h"
#include "document/RecentFileList.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"
#include "terminal/Appearance.h"
#include "terminal/CaptureWriter.h"

namespace {

int SettingsFile() {
    static const int fd = memfd_create("tarvoline-settings", MFD_CLOEXEC);
    if (fd < 0) __builtin_trap();
    return fd;
}

// What the document does with the port settings when it connects, on a line of its own.
void ApplyToLine(const CPortSettings& settings) {
    const CLineSettings line = TranslateLineSettings(settings);
    CLineConfig config{};
    MakeRawLine(config.tio);
    ApplyBaud(config.tio, line.baudRate);
    ApplyLineFormat(config.tio, line.parityCode, line.dataBits, line.stopBitCode);
    ApplyFlowControl(config, line.flowFlags, 100, 100, kXonChar, kXoffChar);
    if (auto speed = BaudToSpeed(line.baudRate)) SpeedToBaud(*speed);
}

void ReadEverything(CMemorySettingsStore& store) {
    const CPortSettings port = LoadPortSettings(&store);
    ApplyToLine(port);
    LeadingDecimal(port.m_strDownloadBaudRate);
    const CPortDevice device = CPortNameResolver(&store).Resolve(port.m_strComPort);
    if (device.device.empty() == device.error.empty()) __builtin_trap();

    const CFontSettings font = CFontSettings::Read(store);
    InitialFontDialogHeight(font.HeightTwips());
    StoredBold(font.m_bBold);
    ReadBackgroundColor(store);
    WrapFlagOf(ReadWrapSetting(store));
    store.GetProfileInt("Window", "X Size", 620);
    store.GetProfileInt("Window", "Y Size", 460);
    store.GetProfileInt("Text", "Time Stamps", 0);
    CCaptureSettings::Read(&store, DefaultCapturePath());

    CRecentFileList recent(&store);
    if (recent.Files().size() > static_cast<std::size_t>(CRecentFileList::kSize)) __builtin_trap();
    for (int i = 0; i < static_cast<int>(recent.Files().size()); ++i) recent.MenuText(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = SettingsFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        __builtin_trap();
    CIniSettingsStore store("/proc/self/fd/" + std::to_string(fd));
    ReadEverything(store);

    {
        CQuietUi ui;
        CUiCallQueue calls;
        CTarvolineDoc doc(&store, ui, calls);
        if (!(doc.Settings() == LoadPortSettings(&store))) __builtin_trap();
        if (doc.LineStatus() != CTarvolineDoc::kNotConnectedTitle) __builtin_trap();
        doc.PortNames().Resolve(doc.Settings().m_strComPort);
    }

    // The defaults fill what is missing once; a second start finds nothing to write.
    WriteFirstRunDefaults(store);
    ReadEverything(store);
    store.ClearWriteLog();
    WriteFirstRunDefaults(store);
    if (!store.WriteLog().empty()) __builtin_trap();
    return 0;
}
