#include "RecentFileList.h"

#include <algorithm>

#include "SettingsStore.h"

CRecentFileList::CRecentFileList(ISettingsStore* store) : m_store(store) {
    if (!m_store) return;
    for (int i = 1; i <= kSize; ++i) {
        std::string path = m_store->GetProfileString(kSection, "File" + std::to_string(i), "");
        if (!path.empty() && std::find(m_files.begin(), m_files.end(), path) == m_files.end())
            m_files.push_back(path);
    }
}

void CRecentFileList::Add(const std::string& path) {
    m_files.erase(std::remove(m_files.begin(), m_files.end(), path), m_files.end());
    m_files.insert(m_files.begin(), path);
    if (m_files.size() > kSize) m_files.resize(kSize);
    Store();
}

void CRecentFileList::Remove(const std::string& path) {
    m_files.erase(std::remove(m_files.begin(), m_files.end(), path), m_files.end());
    Store();
}

std::string CRecentFileList::MenuText(int index) const {
    // '&' in a path would become a mnemonic; doubled it shows as itself.
    std::string shown;
    for (char c : m_files.at(static_cast<size_t>(index))) {
        shown += c;
        if (c == '&') shown += '&';
    }
    return "&" + std::to_string(index + 1) + " " + shown;
}

void CRecentFileList::Store() {
    if (!m_store) return;
    for (int i = 0; i < kSize; ++i) {
        m_store->WriteProfileString(kSection, "File" + std::to_string(i + 1),
                                    i < static_cast<int>(m_files.size()) ? m_files[i] : "");
    }
}
