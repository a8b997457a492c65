#pragma once
// The four load files last opened as documents, newest first, kept in the settings store's
// "Recent File List" section as "File1" to "File4".

#include <string>
#include <vector>

class ISettingsStore;

class CRecentFileList {
public:
    static constexpr int kSize = 4;
    static constexpr const char* kSection = "Recent File List";

    explicit CRecentFileList(ISettingsStore* store);

    const std::vector<std::string>& Files() const { return m_files; }
    // Puts path first (moving it up if listed already) and stores the list.
    void Add(const std::string& path);
    void Remove(const std::string& path);
    // The menu text of entry index (0-based): "&1 /path/FILE.RUN".
    std::string MenuText(int index) const;

private:
    void Store();

    ISettingsStore* m_store;
    std::vector<std::string> m_files;
};
