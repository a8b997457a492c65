#pragma once
// The load that Load Again repeats and the .Bin that Load on Rebuild watches, kept in the
// settings store's "Transfer" section:
//   "Last Load"                the command's word, one blank, the file's absolute path:
//                              "postlink-load /home/me/proj/demo.Bin", "load-cpm68k PATH",
//                              "load-hex PATH", "load-program PATH"
//   "Last Post Link and Load"  the absolute path of the file Load on Rebuild watches: the .Bin
//                              that Post Link and Load last converted, or the program that
//                              Load Program last loaded (it outlives a later Load Hex or Load
//                              CPM68K); the name is kept from before programs were watched
//   "Load on Rebuild"          1 while Load on Rebuild is on; 0 or absent, off

#include <optional>
#include <string>

class ISettingsStore;

enum class LoadKind { PostLinkAndLoad, LoadCpm68k, LoadHex, LoadProgram };

// The loads whose file Load on Rebuild watches.
inline bool IsWatchedLoad(LoadKind kind) {
    return kind == LoadKind::PostLinkAndLoad || kind == LoadKind::LoadProgram;
}

struct CLastLoad {
    LoadKind kind = LoadKind::PostLinkAndLoad;
    std::string path;
    bool operator==(const CLastLoad&) const = default;
};

inline constexpr const char* kLastLoadSection = "Transfer";
inline constexpr const char* kLastLoadEntry = "Last Load";
inline constexpr const char* kLastPostLinkEntry = "Last Post Link and Load";
inline constexpr const char* kLoadOnRebuildEntry = "Load on Rebuild";

std::string FormatLastLoad(const CLastLoad& load);
// None for text that is not of the form above (a path must be absolute).
std::optional<CLastLoad> ParseLastLoad(const std::string& text);

// store may be null: nothing is read or written.
std::optional<CLastLoad> ReadLastLoad(const ISettingsStore* store);
// Keeps load as the last one; a Post Link and Load or Load Program also becomes the one Load
// on Rebuild watches.
void WriteLastLoad(ISettingsStore* store, const CLastLoad& load);
// The file Load on Rebuild watches; empty when none is known.
std::string ReadLastPostLink(const ISettingsStore* store);
