#pragma once
// The INI text that QSettings writes on Linux, decoded the way QSettings decodes it, so that
// a program without Qt reads each setting exactly as the window reads it back.
//
// What QSettings does, and this reader with it:
// - A logical line may run over several lines: a newline inside double quotes, or after a
//   backslash, does not end it. A ';' outside quotes starts a comment to the end of the line
//   ('#' does not: "#name=1" is the setting "#name"). Lines without '=' are skipped.
// - "[General]" (any case) holds the keys outside every group; a group really called
//   "General" is written "[%General]". Group and key names are percent-encoded: "%XX" is the
//   character XX, "%UXXXX" the UTF-16 unit XXXX, and a backslash in a key stands for '/'.
// - Values: backslash escapes (\a \b \f \n \r \t \v \" \? \' \\, \xHEX of any length, \OCTAL,
//   other characters dropped), double quotes that keep spaces, ';', ',' and '=' as text, and
//   spaces and tabs around an unquoted value dropped. An unquoted ',' makes the value a list.
// - A leading '@' marks a typed value: "@@" is a literal '@', "@String(...)" text,
//   "@ByteArray(...)" bytes (read as UTF-8 text, as the window does), "@Invalid()" no value;
//   "@Rect(...)", "@Size(...)", "@Point(...)" are values with no text.
// - A key given twice: the later one counts; the same group in two places counts as one.
//
// What the window's store then reads: QVariant::toString() where the value is valid, its
// default where it is not. So a list of two or more items reads as empty text (toString() of a
// list with more than one item is empty), and "@Invalid()" as absent. Values serialised by
// QDataStream ("@Variant(...)", "@DateTime(...)") are reported absent: this reader does not
// decode them, and the window never writes them for the settings the tool reads.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace inifile {

// What a setting reads as text; nothing when the window would fall back to its default.
using Reading = std::optional<std::string>;

// Every key of the file under its full name ("Group/Key", or "Key" for [General]), in UTF-8.
std::map<std::string, Reading> ParseSettingsText(std::string_view fileBytes);

// The full name QSettings looks up for a section and entry: joined with '/', without empty
// parts ("A//B/" is "A/B"), and with malformed UTF-8 replaced as Qt replaces it.
std::string SettingsKey(const std::string& section, const std::string& entry);

// QVariant::toInt() on the text: optional spaces around, an optional sign and decimal digits
// that fit 64 bits, of which the int keeps the low 32 ("4294967297" is 1, as in the window);
// anything else is no number.
std::optional<int> TextToInt(const std::string& text);

}  // namespace inifile
