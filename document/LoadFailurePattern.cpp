#include "LoadFailurePattern.h"

#include "SettingsStore.h"

std::string ReadLoadFailurePattern(const ISettingsStore* store) {
    if (!store) return kDefaultLoadFailurePattern;
    std::string pattern =
        store->GetProfileString(kLoadFailurePatternSection, kLoadFailurePatternEntry, "");
    return pattern.empty() ? kDefaultLoadFailurePattern : pattern;
}
