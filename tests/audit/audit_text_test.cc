// The audit's text rules on their own: letter case, escaping for one line, hidden secrets in
// every part of a chained command, cutting to a number of characters, and the console's split.
#include "audit/audit_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "audit/console_line.h"

namespace {

using quillmark::CutCharacters;
using quillmark::EscapeForDisplay;
using quillmark::HideSecrets;
using quillmark::Lower;

TEST(AuditTextTest, LowerTouchesOnlyAsciiLetters) {
  EXPECT_EQ(Lower("GiveItem[]@Z\xC3\x89"), "giveitem[]@z\xC3\x89");
}

TEST(AuditTextTest, EscapeForDisplayKeepsOneLineThatReadsAsItHolds) {
  EXPECT_EQ(EscapeForDisplay(std::string("a\x01\x1F\x7F\n\tb\0c", 9)),
            "a\\x01\\x1F\\x7F\\x0A\\x09b\\x00c");
  EXPECT_EQ(EscapeForDisplay("plain {} \\x0A"), "plain {} \\x0A");
}

struct ShownCase {
  const char* text;
  const char* shown;
};

class EscapeForDisplayTest : public ::testing::TestWithParam<ShownCase> {};

TEST_P(EscapeForDisplayTest, ShowsEveryCharacterNobodySeesAsItsCodePoint) {
  EXPECT_EQ(EscapeForDisplay(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeForDisplayTest,
    ::testing::Values(
        // Letters of any language, an emoji beyond the BMP and the visible blanks stay.
        ShownCase{
            "\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E Zo\xC3\xA9 \xF0\x9F\xA6\x96\xE3\x80\x80\xC2\xA0",
            "\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E Zo\xC3\xA9 "
            "\xF0\x9F\xA6\x96\xE3\x80\x80\xC2\xA0"},
        // Right-to-left override, zero-width space, byte order mark, line and paragraph
        // separators, a C1 line break (NEL), the isolates.
        ShownCase{"a\xE2\x80\xAE"
                  "b\xE2\x80\x8B\xEF\xBB\xBF\xE2\x80\xA8\xE2\x80\xA9\xC2\x85",
                  "a\\u{202E}b\\u{200B}\\u{FEFF}\\u{2028}\\u{2029}\\u{0085}"},
        ShownCase{"\xE2\x81\xA6x\xE2\x81\xA9", "\\u{2066}x\\u{2069}"},
        // Word joiner to invisible plus, Arabic letter mark, soft hyphen, Mongolian vowel
        // separator, the Hangul fillers, a variation selector.
        ShownCase{"Destroy\xE2\x81\xA0Wild\xE2\x81\xA4"
                  "Dinos",
                  "Destroy\\u{2060}Wild\\u{2064}Dinos"},
        ShownCase{"\xD8\x9C\xC2\xAD\xE1\xA0\x8E", "\\u{061C}\\u{00AD}\\u{180E}"},
        ShownCase{"\xE1\x85\x9F\xE1\x85\xA0\xE3\x85\xA4\xEF\xBE\xA0\xEF\xB8\x8F",
                  "\\u{115F}\\u{1160}\\u{3164}\\u{FFA0}\\u{FE0F}"},
        // Tag characters, beyond the BMP: every digit of the code point.
        ShownCase{"gg\xF3\xA0\x80\x80\xF3\xA0\x81\x81\xF3\xA0\x81\xBF",
                  "gg\\u{E0000}\\u{E0041}\\u{E007F}"}),
    [](const auto& param_info) { return "case_" + std::to_string(param_info.index); });

struct SecretCase {
  const char* command;
  const char* shown;
};

class HideSecretsTest : public ::testing::TestWithParam<SecretCase> {};

TEST_P(HideSecretsTest, HidesOnlyTheArgumentsOfEnableCheats) {
  EXPECT_EQ(HideSecrets(GetParam().command), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HideSecretsTest,
    ::testing::Values(SecretCase{"EnableCheats pw", "EnableCheats ***"},
                      SecretCase{"enablecheats a b c", "enablecheats ***"},
                      SecretCase{" \tENABLECHEATS\tpw", " \tENABLECHEATS ***"},
                      SecretCase{"EnableCheats", "EnableCheats"},
                      SecretCase{"EnableCheats   ", "EnableCheats   "},
                      SecretCase{"EnableCheatsX pw", "EnableCheatsX pw"},
                      SecretCase{"say EnableCheats pw", "say EnableCheats pw"},
                      SecretCase{"fly|EnableCheats pw|ghost", "fly|EnableCheats ***|ghost"},
                      SecretCase{"fly\nenablecheats pw", "fly\nenablecheats ***"},
                      SecretCase{"say \"a|b\" EnableCheats pw", "say \"a|b\" EnableCheats pw"},
                      // The name in double quotes, in any case, escaped, or run into the password.
                      SecretCase{"\"EnableCheats\" hunter2", "\"EnableCheats\" ***"},
                      SecretCase{"give|  \"ENABLECHEATS\"hunter2", "give|  \"ENABLECHEATS\" ***"},
                      SecretCase{"\"Enable\\Cheats\" hunter2", "\"Enable\\Cheats\" ***"},
                      SecretCase{"\"EnableCheats hunter2\"", "\"EnableCheats ***"},
                      SecretCase{"EnableCheats\"hunter2\"", "EnableCheats ***"},
                      SecretCase{"fly\r\nenablecheats;hunter2", "fly\r\nenablecheats ***"},
                      SecretCase{"\"EnableCheats\"", "\"EnableCheats\""},
                      SecretCase{"\"EnableCheatsX\" pw", "\"EnableCheatsX\" pw"},
                      SecretCase{"say \\ pw", "say \\ pw"}, SecretCase{"", ""},
                      // After any blank the console skips, or a character nobody sees.
                      SecretCase{"\vEnableCheats hunter2", "\vEnableCheats ***"},
                      SecretCase{"\f\rEnableCheats hunter2", "\f\rEnableCheats ***"},
                      SecretCase{"\xC2\x85\xC2\xA0"
                                 "EnableCheats hunter2",
                                 "\xC2\x85\xC2\xA0"
                                 "EnableCheats ***"},
                      SecretCase{"\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8"
                                 "EnableCheats pw",
                                 "\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8"
                                 "EnableCheats ***"},
                      SecretCase{"fly|\xE3\x80\x80\"EnableCheats\"\xE3\x80\x80hunter2",
                                 "fly|\xE3\x80\x80\"EnableCheats\" ***"},
                      SecretCase{"\xE2\x81\xA0\x01"
                                 "EnableCheats\xE3\x80\x80pw",
                                 "\xE2\x81\xA0\x01"
                                 "EnableCheats ***"},
                      SecretCase{"EnableCheats\xE3\x80\x80", "EnableCheats\xE3\x80\x80"},
                      SecretCase{"\xE3\x80\x81"
                                 "EnableCheats pw",
                                 "\xE3\x80\x81"
                                 "EnableCheats pw"}));

struct PasswordCase {
  const char* command;
  std::vector<std::string> passwords;
  const char* shown;
};

class HidePasswordsTest : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(HidePasswordsTest, NoPlaceShowsAnyOfAPassword) {
  EXPECT_EQ(HideSecrets(GetParam().command, GetParam().passwords), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HidePasswordsTest,
    ::testing::Values(PasswordCase{"EnableCheat hunter2", {"hunter2"}, "EnableCheat ***"},
                      PasswordCase{"say hunter2hunter2 or hunter2", {"hunter2"}, "say *** or ***"},
                      PasswordCase{"ababab", {"abab"}, "***"},  // overlapping places
                      PasswordCase{"x pw1pw2 y", {"pw1", "pw2", ""}, "x *** y"},  // adjoining ones
                      PasswordCase{"say \xC3\xB1"
                                   "and\xC3\xBA!",
                                   {"\xC3\xB1"
                                    "and\xC3\xBA"},
                                   "say ***!"},
                      // Into what EnableCheats is given, and out of it into the next part.
                      PasswordCase{"EnableCheats hunter2", {"Cheats hun"}, "Enable*** ***"},
                      PasswordCase{"EnableCheats pw|ghost", {"pw|gh"}, "EnableCheats ******ost"},
                      PasswordCase{"say nothing", {"hunter2"}, "say nothing"}),
    [](const auto& param_info) { return "case_" + std::to_string(param_info.index); });

TEST(AuditTextTest, CutCharactersCountsCodePointsAndMarksTheCut) {
  EXPECT_EQ(CutCharacters("abc", 3), "abc");
  EXPECT_EQ(CutCharacters("abcd", 3), "ab\xE2\x80\xA6");
  EXPECT_EQ(CutCharacters("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xC3\xA9\xE2\x80\xA6");
  EXPECT_EQ(CutCharacters("\xF0\x9F\xA6\x96\xF0\x9F\xA6\x96", 2),
            "\xF0\x9F\xA6\x96\xF0\x9F\xA6\x96");
  EXPECT_EQ(CutCharacters("abc", 0), "");
}

// What the console runs of a line, as "run" texts, comments removed.
std::vector<std::string> Parts(std::string_view line) {
  std::vector<std::string> parts;
  quillmark::ForEachConsolePart(line, [&](const quillmark::ConsolePart& part) {
    parts.emplace_back(line.substr(part.begin, part.run_end - part.begin));
  });
  return parts;
}

TEST(ConsoleLineTest, SplitsAsTheEnginesConsole) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Parts("give|DestroyWildDinos"), (V{"give", "DestroyWildDinos"}));
  EXPECT_EQ(Parts("give \"a|b\""), (V{"give \"a|b\""}));
  EXPECT_EQ(Parts("fly||\r\n|ghost|"), (V{"fly", "ghost"}));
  EXPECT_EQ(Parts("|fly"), (V{"", "fly"}));
  EXPECT_EQ(Parts("say \"a\nb\""), (V{"say \"a", "b\""}));  // a line break ends a part always
  EXPECT_EQ(Parts("fly // DestroyWildDinos|ghost"), (V{"fly ", "ghost"}));
  EXPECT_EQ(Parts("say \"//x\"|ghost"), (V{"say \"//x\"", "ghost"}));
  EXPECT_EQ(Parts(""), V{});
}

}  // namespace
