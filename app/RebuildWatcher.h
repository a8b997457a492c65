#pragma once
// Load on Rebuild's eye on one file (a .Bin, or a program Load Program loaded): it tells once per
// change, when the linker has finished writing it. Finished means: the file is a regular file that
// differs (device, inode, size or modification time) from the one last taken, and neither its size
// nor its time has changed for kSettleMs, by this watcher's clock and by the file's own time. A
// file still being written, or one that is gone, is not told; a change found while ready() says no
// (a transfer runs, a dialog is open) is told once ready() says yes.
//
// A linker may pause longer than kSettleMs in the middle of a file. When the conversion of
// what was taken fails, the watcher is told (ConversionFailed): a change within
// kFailureSettleMs is told as a new Rebuilt, as any change; a file that stays as it was for
// kFailureSettleMs is told by FailureSettled, for its failure to be shown.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <sys/stat.h>

class CRebuildWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 300;
    static constexpr int kPollMs = 50;
    static constexpr int kFailureSettleMs = 2000;

    explicit CRebuildWatcher(std::function<bool()> ready, QObject* parent = nullptr);

    // Watches path (none when empty); the file as it is now counts as taken.
    void Watch(const QString& path);
    const QString& Path() const { return m_path; }
    // Off stops watching; on takes the file as it is now.
    void SetEnabled(bool on);
    bool Enabled() const { return m_enabled; }
    // The file as it is now has been taken (a Post Link and Load of it has started).
    void Taken();
    // The conversion of the file as last taken failed; nothing was shown.
    void ConversionFailed();
    bool FailureHeld() const { return m_failedSince.isValid(); }

signals:
    void Rebuilt(const QString& path);
    // The file whose conversion failed has stayed as it was for kFailureSettleMs.
    void FailureSettled(const QString& path);

private:
    struct Signature {
        bool regular = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        timespec modified{};
        bool operator==(const Signature& o) const;
    };
    Signature Look() const;
    void Poll();
    void Restart();

    std::function<bool()> m_ready;
    QString m_path;
    bool m_enabled = false;
    QTimer m_poll;
    Signature m_taken;  // what the last load (or the start of watching) saw
    Signature m_seen;   // what the last look saw
    QElapsedTimer m_seenSince;
    QElapsedTimer m_failedSince;  // valid while a failed conversion waits to be shown
};
