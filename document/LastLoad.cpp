#include "LastLoad.h"

#include "SettingsStore.h"

namespace {

struct KindWord {
    LoadKind kind;
    const char* word;
};
constexpr KindWord kWords[] = {
    {LoadKind::PostLinkAndLoad, "postlink-load"},
    {LoadKind::LoadCpm68k, "load-cpm68k"},
    {LoadKind::LoadHex, "load-hex"},
    {LoadKind::LoadProgram, "load-program"},
};

}  // namespace

std::string FormatLastLoad(const CLastLoad& load) {
    for (const KindWord& w : kWords)
        if (w.kind == load.kind) return std::string(w.word) + " " + load.path;
    return {};
}

std::optional<CLastLoad> ParseLastLoad(const std::string& text) {
    const size_t blank = text.find(' ');
    if (blank == std::string::npos || blank + 1 >= text.size() || text[blank + 1] != '/')
        return std::nullopt;
    const std::string word = text.substr(0, blank);
    for (const KindWord& w : kWords)
        if (word == w.word) return CLastLoad{w.kind, text.substr(blank + 1)};
    return std::nullopt;
}

std::optional<CLastLoad> ReadLastLoad(const ISettingsStore* store) {
    if (!store) return std::nullopt;
    return ParseLastLoad(store->GetProfileString(kLastLoadSection, kLastLoadEntry, ""));
}

void WriteLastLoad(ISettingsStore* store, const CLastLoad& load) {
    if (!store) return;
    store->WriteProfileString(kLastLoadSection, kLastLoadEntry, FormatLastLoad(load));
    if (IsWatchedLoad(load.kind))
        store->WriteProfileString(kLastLoadSection, kLastPostLinkEntry, load.path);
}

std::string ReadLastPostLink(const ISettingsStore* store) {
    if (!store) return {};
    const std::string path = store->GetProfileString(kLastLoadSection, kLastPostLinkEntry, "");
    return path.starts_with('/') ? path : std::string();
}
