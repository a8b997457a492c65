#pragma once
// The demo's simulated board: vivaz-sim started beside the program at the document's rate,
// its device bound to the document's port name for this run only. The board keeps its
// greeting until the first CR, which the window sends once it has connected, so the first
// screen holds the whole greeting and one prompt.

#include <QObject>
#include <QString>

class CTarvolineDoc;
class QProcess;

class CDemoBoard : public QObject {
public:
    // program: the vivaz-sim to run.
    explicit CDemoBoard(QString program);
    // The board ends with the window.
    ~CDemoBoard() override;
    CDemoBoard(const CDemoBoard&) = delete;
    CDemoBoard& operator=(const CDemoBoard&) = delete;

    // Starts the board and binds the document's port name to it; false with the reason.
    bool Start(CTarvolineDoc& doc, QString& error);
    // Once the document is connected: asks the board for its greeting.
    void Greet(CTarvolineDoc& doc);
    const QString& Device() const { return m_device; }

private:
    QString m_program;
    QProcess* m_process = nullptr;
    QString m_device;
};
