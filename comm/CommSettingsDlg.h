#pragma once
// The Communication Settings dialog: port number, baud rates, parity, data bits, stop bits,
// flow control, local echo and Send LF after CR, and the device the port number stands for.
// The device box also takes a network port, rfc2217://HOST:PORT or tcp://HOST:PORT, for the
// port number or, with no number, as the port itself.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "comm/DialogUnits.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

class CCommSettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPortMin = 1;
    static constexpr int kPortMax = 255;

    // resolver tells which device a port number stands for (may be null).
    CCommSettingsDlg(const CPortSettings& settings, const CPortNameResolver* resolver,
                     QWidget* parent = nullptr);

    // The confirmed values (valid after OK).
    CPortSettings Settings() const;
    // The device chosen for the confirmed port name, when it differs from what the name
    // resolved to.
    std::optional<std::string> ChosenDevice() const { return m_chosenDevice; }

    // Offers the network ports used last (most recent first) at the top of the device box.
    void OfferNetworkPorts(const std::vector<std::string>& names);

    // Control of a given template id (1001 ... 1008, 1021), for tests.
    QWidget* Control(int id) const;

    // The index of the first entry that begins with text, ignoring case; -1 when none.
    static int SelectionFor(const QStringList& entries, const QString& text);
    // The decimal value of the leading digits of the name from its fourth character on.
    static int PortNumberOf(const std::string& portName);
    // The serial devices present on this machine, each list sorted.
    static std::vector<std::string> PresentDevices();

    // The dialog's members, in the order of exchange.
    std::string m_strBaudRate;
    std::string m_strDownloadBaudRate;
    std::string m_strDataBits;
    int m_bLocalEcho = 0;
    std::string m_strFlowControl;
    std::string m_strParity;
    std::string m_strStopBits;
    int m_bSendCRLF = 0;
    int m_nPort = 0;
    std::string m_strComPort;

public slots:
    void accept() override;

private:
    void OnInitDialog();
    void UpdateDevice();
    QComboBox* AddList(int id, const QStringList& entries, bool sorted, int x, int y);
    static void SelectText(QComboBox* list, const std::string& text);

    CDialogUnits m_units{*this};
    const CPortNameResolver* m_resolver;
    QLineEdit* m_port = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_downloadBaud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_flow = nullptr;
    QCheckBox* m_localEcho = nullptr;
    QCheckBox* m_sendCrLf = nullptr;
    QGroupBox* m_deviceGroup = nullptr;
    QComboBox* m_device = nullptr;
    std::string m_resolvedDevice;
    std::optional<std::string> m_chosenDevice;
    bool m_startedWithPath = false;  // the stored port was a device path or network port
};
