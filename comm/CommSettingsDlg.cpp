#include "CommSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>

#include "comm/DialogUnits.h"
#include "comm/NetworkPortName.h"

namespace {

QStringList OfferedBaudRates() {
    QStringList rates;
    for (unsigned rate : kOfferedBaudRates) rates << QString::number(rate);
    return rates;
}

// Template height of the dialog and how much the device group adds below the settings group.
constexpr int kDialogWidth = 163;
constexpr int kDialogHeight = 215;
constexpr int kDeviceGroupHeight = 36;

QLabel* RightLabel(QWidget* parent, const QString& text, const CDialogUnits& du, int y,
                   QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Eight units high in the template; centred on its control here so the text is not cut.
    label->setGeometry(du.X(13), du.Y(y) - du.Y(3), du.X(79), du.Y(14));
    if (buddy) label->setBuddy(buddy);
    return label;
}

}  // namespace

CCommSettingsDlg::CCommSettingsDlg(const CPortSettings& settings,
                                   const CPortNameResolver* resolver, QWidget* parent)
    : QDialog(parent), m_resolver(resolver) {
    setWindowTitle("Communication Settings");
    CDialogUnits du(*this);
    du.FitText(*this, "Tv Download Baud Rate", 79);
    m_units = du;
    setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight + kDeviceGroupHeight));

    // Template order: the group box comes last there, but it must lie beneath the controls.
    auto* group = new QGroupBox(this);
    du.Place(group, 7, 7, 149, 180);

    m_port = new QLineEdit(this);
    m_port->setObjectName("1021");
    du.Place(m_port, 99, 17, 48, 14);
    m_baud = AddList(1001, OfferedBaudRates(), false, 99, 37);
    m_downloadBaud = AddList(1008, OfferedBaudRates(), false, 99, 55);
    m_parity = AddList(1002, {"None", "Even", "Odd"}, true, 99, 74);
    m_dataBits = AddList(1003, {"7", "8"}, true, 99, 95);
    m_stopBits = AddList(1004, {"1", "2"}, true, 99, 114);
    m_flow = AddList(1005, {"Hardware", "Software", "None"}, true, 99, 135);
    m_localEcho = new QCheckBox("&Local Echo", this);
    m_localEcho->setObjectName("1006");
    du.Place(m_localEcho, 14, 157, 54 + 30, 10);
    m_sendCrLf = new QCheckBox("Send LF after &CR", this);
    m_sendCrLf->setObjectName("1007");
    du.Place(m_sendCrLf, 14, 169, 67 + 40, 10);

    // The device the port number stands for on this machine.
    m_deviceGroup = new QGroupBox(this);
    du.Place(m_deviceGroup, 7, 189, 149, kDeviceGroupHeight - 3);
    m_device = new QComboBox(this);
    m_device->setObjectName("device");
    m_device->setEditable(true);
    m_device->setInsertPolicy(QComboBox::NoInsert);
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_device->setToolTip("The device used for this port number on this computer, or a network "
                         "port: rfc2217://HOST:PORT or tcp://HOST:PORT");
    for (const std::string& device : PresentDevices())
        m_device->addItem(QString::fromStdString(device));
    m_device->setGeometry(du.X(13), du.Y(189 + 13), du.X(137), m_device->sizeHint().height());

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    du.Place(ok, 7, 194 + kDeviceGroupHeight, 50, 14);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    du.Place(cancel, 106, 194 + kDeviceGroupHeight, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CCommSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    RightLabel(this, "Port #", du, 19, m_port);
    RightLabel(this, "&Baud Rate", du, 38, m_baud);
    RightLabel(this, "P&arity", du, 76, m_parity);
    RightLabel(this, "&Data Bits", du, 96, m_dataBits);
    RightLabel(this, "&Stop Bits", du, 116, m_stopBits);
    RightLabel(this, "&Flow Control", du, 136, m_flow);
    RightLabel(this, "&Tv Download Baud Rate", du, 56, m_downloadBaud);

    QWidget* order[] = {m_port,  m_baud,      m_downloadBaud, m_parity, m_dataBits, m_stopBits,
                        m_flow,  m_localEcho, m_sendCrLf,     ok,       cancel,     m_device};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // The members take the document's values; the controls are loaded from them.
    m_strComPort = settings.m_strComPort;
    m_strBaudRate = settings.m_strBaudRate;
    m_strDownloadBaudRate = settings.m_strDownloadBaudRate;
    m_strParity = settings.m_strParity;
    m_strDataBits = settings.m_strDataBits;
    m_strStopBits = settings.m_strStopBits;
    m_strFlowControl = settings.m_strFlowControl;
    m_bLocalEcho = settings.m_bLocalEcho;
    m_bSendCRLF = settings.m_bSendCRLF;
    OnInitDialog();
    connect(m_port, &QLineEdit::textChanged, this, &CCommSettingsDlg::UpdateDevice);
    m_port->setFocus();
}

QComboBox* CCommSettingsDlg::AddList(int id, const QStringList& entries, bool sorted, int x,
                                     int y) {
    auto* list = new QComboBox(this);
    list->setObjectName(QString::number(id));
    QStringList items = entries;
    if (sorted) items.sort(Qt::CaseInsensitive);
    list->addItems(items);
    const CDialogUnits& du = m_units;
    list->setGeometry(du.X(x), du.Y(y) - 1, du.X(48), std::max(du.Y(14), list->sizeHint().height()));
    return list;
}

QWidget* CCommSettingsDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

int CCommSettingsDlg::SelectionFor(const QStringList& entries, const QString& text) {
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].startsWith(text, Qt::CaseInsensitive)) return i;
    return -1;
}

void CCommSettingsDlg::SelectText(QComboBox* list, const std::string& text) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    list->setCurrentIndex(SelectionFor(entries, QString::fromStdString(text)));
}

int CCommSettingsDlg::PortNumberOf(const std::string& portName) {
    int n = 0;
    for (size_t i = 3; i < portName.size() && std::isdigit(static_cast<unsigned char>(portName[i]));
         ++i) {
        n = n * 10 + (portName[i] - '0');
        if (n > 1000000) break;
    }
    return n;
}

namespace {
// A device path or a network port stored where a port name goes ("COM Port" = /dev/ttyUSB0).
bool IsDevicePath(const std::string& name) {
    return (!name.empty() && name[0] == '/') || IsNetworkPortName(name);
}
}  // namespace

void CCommSettingsDlg::OfferNetworkPorts(const std::vector<std::string>& names) {
    // What the box shows stays; the list only gains the entries.
    const QString shown = m_device->currentText();
    for (size_t i = 0; i < names.size(); ++i)
        m_device->insertItem(static_cast<int>(i), QString::fromStdString(names[i]));
    m_device->setEditText(shown);
}

void CCommSettingsDlg::OnInitDialog() {
    const bool path = IsDevicePath(m_strComPort);
    m_startedWithPath = path;
    m_nPort = path ? 0 : PortNumberOf(m_strComPort);
    m_port->setText(path ? QString() : QString::number(m_nPort));
    SelectText(m_baud, m_strBaudRate);
    SelectText(m_downloadBaud, m_strDownloadBaudRate);
    SelectText(m_dataBits, m_strDataBits);
    m_localEcho->setChecked(m_bLocalEcho != 0);
    SelectText(m_flow, m_strFlowControl);
    SelectText(m_parity, m_strParity);
    SelectText(m_stopBits, m_strStopBits);
    m_sendCrLf->setChecked(m_bSendCRLF != 0);
    UpdateDevice();
    // A device path in place of a port: shown as the device, with no number.
    if (path) m_device->setEditText(QString::fromStdString(m_strComPort));
}

void CCommSettingsDlg::UpdateDevice() {
    if (m_port->text().trimmed().isEmpty()) {
        // No number: the device box names the device itself, and keeps what it shows.
        m_resolvedDevice.clear();
        m_deviceGroup->setTitle("Device");
        return;
    }
    bool ok = false;
    const int n = m_port->text().trimmed().toInt(&ok);
    const std::string name = "COM" + std::to_string(ok ? n : 0);
    m_resolvedDevice.clear();
    if (ok && n >= kPortMin && n <= kPortMax) {
        m_resolvedDevice = m_resolver ? m_resolver->Resolve(name).device
                                      : "/dev/ttyS" + std::to_string(n - 1);
        m_deviceGroup->setTitle(QString("Device for %1").arg(QString::fromStdString(name)));
    } else {
        m_deviceGroup->setTitle("Device");
    }
    m_device->setEditText(QString::fromStdString(m_resolvedDevice));
}

void CCommSettingsDlg::accept() {
    m_strBaudRate = m_baud->currentText().toStdString();
    m_strDownloadBaudRate = m_downloadBaud->currentText().toStdString();
    m_strDataBits = m_dataBits->currentText().toStdString();
    m_bLocalEcho = m_localEcho->isChecked() ? 1 : 0;
    m_strFlowControl = m_flow->currentText().toStdString();
    m_strParity = m_parity->currentText().toStdString();
    m_strStopBits = m_stopBits->currentText().toStdString();
    m_bSendCRLF = m_sendCrLf->isChecked() ? 1 : 0;

    const QString deviceText = m_device->currentText().trimmed();
    // A network port must be well formed, with or without a port number.
    if (IsNetworkPortName(deviceText.toStdString())) {
        std::string error;
        if (!ParseNetworkPortName(deviceText.toStdString(), error)) {
            QMessageBox::warning(this, "Tarvoline", QString::fromStdString(error));
            m_device->setFocus();
            m_device->lineEdit()->selectAll();
            return;
        }
        // Without a number the network port is the port itself.
        if (m_port->text().trimmed().isEmpty()) {
            m_strComPort = deviceText.toStdString();
            m_chosenDevice.reset();
            QDialog::accept();
            return;
        }
    }
    // A device path stored as the port, left without a number: it stays the port.
    if (m_startedWithPath && m_port->text().trimmed().isEmpty() && deviceText.startsWith('/')) {
        m_strComPort = deviceText.toStdString();
        m_chosenDevice.reset();
        QDialog::accept();
        return;
    }
    bool isInteger = false;
    const int n = m_port->text().trimmed().toInt(&isInteger);
    if (!isInteger || n < kPortMin || n > kPortMax) {
        const QString text = isInteger ? QString("Please enter an integer between %1 and %2.")
                                             .arg(kPortMin)
                                             .arg(kPortMax)
                                       : QString("Please enter an integer.");
        QMessageBox::warning(this, "Tarvoline", text);
        m_port->setFocus();
        m_port->selectAll();
        return;
    }
    m_nPort = n;
    m_strComPort = "COM" + std::to_string(m_nPort);
    const std::string device = m_device->currentText().trimmed().toStdString();
    m_chosenDevice.reset();
    if (!device.empty() && device != m_resolvedDevice) m_chosenDevice = device;
    QDialog::accept();
}

CPortSettings CCommSettingsDlg::Settings() const {
    CPortSettings s;
    s.m_strComPort = m_strComPort;
    s.m_strBaudRate = m_strBaudRate;
    s.m_strDownloadBaudRate = m_strDownloadBaudRate;
    s.m_strParity = m_strParity;
    s.m_strDataBits = m_strDataBits;
    s.m_strStopBits = m_strStopBits;
    s.m_strFlowControl = m_strFlowControl;
    s.m_bLocalEcho = m_bLocalEcho;
    s.m_bSendCRLF = m_bSendCRLF;
    return s;
}

std::vector<std::string> CCommSettingsDlg::PresentDevices() {
    std::vector<std::string> out;
    auto add = [&](const QString& dir, const QStringList& patterns) {
        QDir d(dir);
        QStringList names = d.entryList(patterns, QDir::System | QDir::Files,
                                        QDir::Name);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            // ttyS2 before ttyS10
            static const QRegularExpression digits("(\\d+)$");
            const auto ma = digits.match(a), mb = digits.match(b);
            const QString pa = a.left(a.size() - ma.capturedLength());
            const QString pb = b.left(b.size() - mb.capturedLength());
            if (pa != pb || !ma.hasMatch() || !mb.hasMatch()) return a < b;
            return ma.captured(1).toLongLong() < mb.captured(1).toLongLong();
        });
        for (const QString& name : names) out.push_back((dir + "/" + name).toStdString());
    };
    add("/dev/serial/by-id", {"*"});
    add("/dev", {"ttyUSB*"});
    add("/dev", {"ttyACM*"});
    add("/dev", {"ttyS*"});
    return out;
}
