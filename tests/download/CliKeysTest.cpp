// The keys of tarvoline-cli term: what a terminal sends for a key becomes what the window's
// keyboard sends for it, and Ctrl-] starts a command.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/term_keys.h"

namespace tarvoline::cli {
namespace {

using Actions = std::vector<KeyAction>;

KeyAction S(int b) { return {KeyAction::Send, b}; }
KeyAction C(int k) { return {KeyAction::Command, k}; }

struct KeyCase {
    const char* name;
    std::string typed;
    bool utf8;
    Actions expected;
};

class KeyTranslation : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTranslation, AsTheWindowSendsIt) {
    const KeyCase& c = GetParam();
    CKeyTranslator keys(c.utf8);
    Actions got = keys.Feed(reinterpret_cast<const unsigned char*>(c.typed.data()), c.typed.size());
    const Actions idle = keys.Idle();
    got.insert(got.end(), idle.begin(), idle.end());
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTranslation,
    ::testing::Values(
        KeyCase{"Printable", "aZ~ ", true, {S('a'), S('Z'), S('~'), S(' ')}},
        KeyCase{"EnterIsCr", "\r", true, {S(0x0D)}},
        KeyCase{"BackspaceIsBs", "\x7f", true, {S(0x08)}},
        KeyCase{"CtrlKeysAreTheirCodes", std::string("\x01\x03\x09\x1a\x00", 5), true,
                {S(1), S(3), S(9), S(0x1A), S(0)}},
        KeyCase{"ArrowsHomeDeleteAndFunctionKeysSendNothing",
                "\x1b[A\x1b[1;5C\x1b[3~\x1bOP\x1b[15~x", true, {S('x')}},
        KeyCase{"AltWithAKeySendsNothing", "\x1bx", true, {}},
        KeyCase{"ALoneEscIsCtrlBracket", "\x1b", true, {S(0x1B)}},
        KeyCase{"TwoEscsAreTwo", "\x1b\x1b", true, {S(0x1B), S(0x1B)}},
        KeyCase{"Latin1FromUtf8", "\xc3\xa9", true, {S(0xE9)}},
        KeyCase{"BeyondLatin1IsAQuestionMark", "\xe2\x82\xac", true, {S('?')}},
        KeyCase{"OneByteACharacterWithoutUtf8", "\xe9", false, {S(0xE9)}},
        KeyCase{"ABrokenSequenceGoesAsItsBytes", "\xc3z", true, {S(0xC3), S('z')}},
        KeyCase{"EscapeKeyCommands", "\x1dq\x1d?\x1dl", true, {C('q'), C('?'), C('l')}},
        KeyCase{"EscapeKeyTwiceSendsOne", "\x1d\x1d", true, {S(0x1D)}},
        KeyCase{"ASequenceCutShortByAControlByte", "\x1b[1\r", true, {S(0x0D)}}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(KeyTranslation, KeysSplitAcrossReadsComeOutWhole) {
    CKeyTranslator keys(true);
    const std::string typed = "\x1b[A\xc3\xa9\x1dq";
    Actions got;
    for (char c : typed) {
        const auto b = static_cast<unsigned char>(c);
        const Actions a = keys.Feed(&b, 1);
        got.insert(got.end(), a.begin(), a.end());
    }
    EXPECT_EQ(got, (Actions{S(0xE9), C('q')}));
    EXPECT_FALSE(keys.Pending());
}

TEST(KeyTranslation, TheEscapeKeyWaitsForItsCommandThroughAPause) {
    CKeyTranslator keys(true);
    const unsigned char escape = kEscapeKey, b = 'b';
    EXPECT_TRUE(keys.Feed(&escape, 1).empty());
    EXPECT_TRUE(keys.Idle().empty());  // the user takes a moment
    EXPECT_EQ(keys.Feed(&b, 1), (Actions{C('b')}));
}

}  // namespace
}  // namespace tarvoline::cli
