#include "RebuildWatcher.h"

#include <QFile>
#include <ctime>

bool CRebuildWatcher::Signature::operator==(const Signature& o) const {
    return regular == o.regular && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

CRebuildWatcher::CRebuildWatcher(std::function<bool()> ready, QObject* parent)
    : QObject(parent), m_ready(std::move(ready)) {
    // A look is one stat() of one file: cheap enough to make often, and unlike change
    // notices it sees a file replaced by a rename or written over a network share alike.
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &CRebuildWatcher::Poll);
}

CRebuildWatcher::Signature CRebuildWatcher::Look() const {
    Signature s;
    struct stat st{};
    if (m_path.isEmpty() || ::stat(QFile::encodeName(m_path).constData(), &st) != 0) return s;
    s.regular = S_ISREG(st.st_mode);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    return s;
}

void CRebuildWatcher::Watch(const QString& path) {
    m_path = path;
    Restart();
}

void CRebuildWatcher::SetEnabled(bool on) {
    m_enabled = on;
    Restart();
}

void CRebuildWatcher::Taken() {
    m_failedSince.invalidate();
    m_taken = Look();
    m_seen = m_taken;
    m_seenSince.start();
}

void CRebuildWatcher::ConversionFailed() {
    if (m_enabled && !m_path.isEmpty()) m_failedSince.start();
}

void CRebuildWatcher::Restart() {
    Taken();
    if (m_enabled && !m_path.isEmpty())
        m_poll.start();
    else
        m_poll.stop();
}

void CRebuildWatcher::Poll() {
    const Signature now = Look();
    // Changed after its conversion failed: the writer was not done; the new file is taken
    // once it settles, and the failure is forgotten.
    if (!(now == m_taken)) m_failedSince.invalidate();
    if (!(now == m_seen)) {
        m_seen = now;
        m_seenSince.start();
        return;
    }
    if (m_failedSince.isValid()) {
        if (m_failedSince.elapsed() < kFailureSettleMs || (m_ready && !m_ready())) return;
        m_failedSince.invalidate();
        emit FailureSettled(m_path);
        return;
    }
    if (!now.regular || now == m_taken) return;
    if (m_seenSince.elapsed() < kSettleMs) return;
    // The file's own time as well: written less than kSettleMs ago, it may still be being
    // written. A time ahead of this clock (a share's clock) is not waited for.
    timespec clock{};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    const long long ageMs = (clock.tv_sec - now.modified.tv_sec) * 1000LL +
                            (clock.tv_nsec - now.modified.tv_nsec) / 1000000;
    if (ageMs >= 0 && ageMs < kSettleMs) return;
    if (m_ready && !m_ready()) return;
    m_taken = now;
    emit Rebuilt(m_path);
}
