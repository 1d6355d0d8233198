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
  // Letters of any language stay; right-to-left override, zero-width space, byte order mark,
  // line separator and a C1 line break (NEL) do not.
  EXPECT_EQ(EscapeForDisplay("\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E Zo\xC3\xA9 \xF0\x9F\xA6\x96"),
            "\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E Zo\xC3\xA9 \xF0\x9F\xA6\x96");
  EXPECT_EQ(EscapeForDisplay("a\xE2\x80\xAE"
                             "b\xE2\x80\x8B\xEF\xBB\xBF\xE2\x80\xA8\xC2\x85"),
            "a\\u{202E}b\\u{200B}\\u{FEFF}\\u{2028}\\u{0085}");
  EXPECT_EQ(EscapeForDisplay("\xE2\x81\xA6x\xE2\x81\xA9"), "\\u{2066}x\\u{2069}");
}

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
                      SecretCase{"say \\ pw", "say \\ pw"}, SecretCase{"", ""}));

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
