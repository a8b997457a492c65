#include "FirstRunDefaults.h"

#include <cstdlib>
#include <variant>

#include "SettingsStore.h"

namespace {

struct IntDefault {
    int value;
    int absentFallback;
};

struct DefaultEntry {
    const char* section;
    const char* entry;
    std::variant<IntDefault, const char*> value;  // a null string stands for the capture path
};

// Table order is the order of writing.
const DefaultEntry kDefaults[] = {
    {"Transfer", "Write Mode", IntDefault{1, 0}},
    {"Transfer", "Include Buffer Text", IntDefault{1, 0}},
    {"Transfer", "Prompt For Filename", IntDefault{1, 0}},
    {"Transfer", "Prompt Path Name", static_cast<const char*>(nullptr)},
    {"Font", "Face Name", "Courier"},
    {"Font", "Size", IntDefault{100, -1}},
    {"Font", "Bold", IntDefault{0, -1}},
    {"Font", "Italic", IntDefault{0, -1}},
    {"Font", "Underline", IntDefault{0, -1}},
    {"Font", "Strikeout", IntDefault{0, -1}},
    {"Font", "Color", IntDefault{0xFFFFFF, -1}},
    {"Text", "Wrap", IntDefault{1, -1}},
    {"Background", "Color", IntDefault{0xFF0000, -1}},
    {"COM Settings", "Baud Rate", "9600"},
    {"COM Settings", "Baud Rate Tv Download", "115200"},
    {"COM Settings", "Parity", "None"},
    {"COM Settings", "Data Bits", "8"},
    {"COM Settings", "Stop Bits", "1"},
    {"COM Settings", "Flow Control", "None"},
    {"COM Settings", "Local Echo", IntDefault{0, -1}},
    {"COM Settings", "Send CRLF", IntDefault{0, -1}},
    {"Window", "X Size", IntDefault{620, -1}},
    {"Window", "Y Size", IntDefault{460, -1}},
};

}  // namespace

std::string DefaultCapturePath() {
    const char* home = std::getenv("HOME");
    std::string dir = (home && *home) ? home : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir + "CAPTURE.TXT";
}

void WriteFirstRunDefaults(ISettingsStore& store) {
    for (const DefaultEntry& d : kDefaults) {
        if (const auto* i = std::get_if<IntDefault>(&d.value)) {
            if (store.GetProfileInt(d.section, d.entry, i->absentFallback) == i->absentFallback)
                store.WriteProfileInt(d.section, d.entry, i->value);
        } else {
            const char* s = std::get<const char*>(d.value);
            if (store.GetProfileString(d.section, d.entry, "").empty())
                store.WriteProfileString(d.section, d.entry, s ? s : DefaultCapturePath());
        }
    }
}
