// Discord's markdown escaped in what an embed shows: each kind of markdown a player can type
// reads as typed, and a cut text never ends in half an escape.
#include "notify/markdown.h"

#include <gtest/gtest.h>

#include "audit/audit_text.h"

namespace {

using quillmark::CutMarkdown;
using quillmark::EscapeMarkdown;
using quillmark::MarkdownField;

struct EscapeCase {
  const char* typed;
  const char* escaped;
};

TEST(MarkdownTest, EveryKindOfMarkdownIsEscaped) {
  const EscapeCase cases[] = {
      // A masked link posing as a player, and a spoiler over the EOS id.
      {"[Mia (00021f8e)](https://evil.example/login)",
       "\\[Mia \\(00021f8e\\)\\]\\(https\\://evil.example/login\\)"},
      {"||0002c0ffee||", "\\|\\|0002c0ffee\\|\\|"},
      {"**b** *i* __u__ ~~s~~", "\\*\\*b\\*\\* \\*i\\* \\_\\_u\\_\\_ \\~\\~s\\~\\~"},
      {"`x` ```y```", "\\`x\\` \\`\\`\\`y\\`\\`\\`"},
      {"> q >>> r", "\\> q \\>\\>\\> r"},
      {"# h -# sub", "\\# h \\-\\# sub"},
      {"- a * b + c", "\\- a \\* b \\+ c"},
      {"1. first", "1\\. first"},
      {"v1.2 say 3.5", "v1.2 say 3.5"},
      {"<@&123> <#456> <@789> <t:1700000000:R> <:pog:42>",
       "\\<\\@&123\\> \\<\\#456\\> \\<\\@789\\> \\<t\\:1700000000\\:R\\> \\<\\:pog\\:42\\>"},
      {"@everyone @here :smile:", "\\@everyone \\@here \\:smile\\:"},
      {"C:\\x0A\\", "C\\:\\\\x0A\\\\"},  // a shown escape stays as the audit line has it
      {"Zo\xC3\xA9 give 1 2 3", "Zo\xC3\xA9 give 1 2 3"},
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(EscapeMarkdown(c.typed), c.escaped) << c.typed;
}

// The cut counts the escaped text, and a backslash whose character would be cut off goes too.
TEST(MarkdownTest, ACutNeverSplitsAnEscape) {
  EXPECT_EQ(CutMarkdown("ab\\*cd", 6), "ab\\*cd");
  EXPECT_EQ(CutMarkdown("ab\\*cd", 5), "ab\\*\xE2\x80\xA6");
  EXPECT_EQ(CutMarkdown("ab\\*cd", 4), "ab\xE2\x80\xA6");  // not "ab\…"
  EXPECT_EQ(CutMarkdown("\\\\\\\\x", 4), "\\\\\xE2\x80\xA6");
  std::string stars;
  for (int i = 0; i < 49; ++i) stars += "\\*";
  const MarkdownField field(std::string(200, '*'), 100);
  EXPECT_EQ(field.text, stars + "\xE2\x80\xA6");
  EXPECT_EQ(field.characters, 99u);
  EXPECT_EQ(field.characters, quillmark::CountCharacters(field.text));
}

}  // namespace
