#include "DemoBoard.h"

#include <sys/prctl.h>

#include <csignal>
#include <iostream>

#include <QFileInfo>
#include <QProcess>

#include "comm/PortSettings.h"
#include "document/TarvolineDoc.h"

CDemoBoard::CDemoBoard(QString program) : m_program(std::move(program)) {}

CDemoBoard::~CDemoBoard() {
    if (!m_process) return;
    m_process->terminate();
    if (!m_process->waitForFinished(2000)) m_process->kill();
    m_process->waitForFinished(1000);
    delete m_process;
}

bool CDemoBoard::Start(CTarvolineDoc& doc, QString& error) {
    if (!QFileInfo(m_program).isExecutable()) {
        error = "The simulated board " + m_program + " is missing; build it first.";
        return false;
    }
    const DWORD baud = LeadingDecimal(doc.Settings().m_strBaudRate);
    // The board runs at the real line rate, so the demo feels like a board on a cable; it
    // greets when the window asks, not into a line nobody reads yet.
    QStringList args{"--pace", "--greet-on-cr"};
    if (baud > 0) args << "--baud" << QString::number(baud);
    m_process = new QProcess;
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The board ends with this program, however it ends.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(m_program, args);
    QByteArray first;
    while (!first.contains('\n') && m_process->waitForReadyRead(5000))
        first += m_process->readAllStandardOutput();
    m_device = QString::fromLocal8Bit(first.left(first.indexOf('\n'))).trimmed();
    if (!m_device.startsWith('/')) {
        error = "The simulated board did not start.";
        return false;
    }
    const std::string port = doc.Settings().m_strComPort;
    doc.PortNames().Bind(port, m_device.toStdString());
    std::cout << "Demo: " << port << " is the simulated board on " << m_device.toStdString()
              << std::endl;
    // What the board notes (loads, refused bytes) goes to this program's output.
    std::cout << first.mid(first.indexOf('\n') + 1).toStdString() << std::flush;
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { std::cout << m_process->readAllStandardOutput().toStdString() << std::flush; });
    return true;
}

void CDemoBoard::Greet(CTarvolineDoc& doc) {
    if (doc.Port()) doc.SendChar('\r');
}
