// Hostile text through the whole system: chained commands, names and arguments in any language,
// ids that only look alike, a server label and names holding line breaks and invisible
// formatting, oversized fields, and configuration files built to cost time and memory. What is
// checked is what the game ran, the audit lines, the embeds and the journal's records, each
// record against its audit line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "audit/audit_text.h"
#include "audit/position.h"
#include "e2e/stand_in.h"
#include "notify/markdown.h"
#include "support/journal_files.h"

namespace {

using nlohmann::json;
using quillmark::EscapeMarkdown;
using quillmark::testing::Play;

class HostileTextTest : public quillmark::testing::StandInTest {
 protected:
  // The description of every embed posted, in the order they arrived.
  std::vector<std::string> Descriptions() {
    std::vector<std::string> descriptions;
    for (const json& embed : Embeds()) descriptions.push_back(embed["description"]);
    return descriptions;
  }

  // The journal's command records, each checked against the play's audit lines: one record per
  // audit line of a command, in the same order, whose texts (as typed, the passwords hidden,
  // JSON-escaped only), escaped as the audit line escapes them, make that very line. Every label
  // folder's chain holds.
  std::vector<json> JournalOf(const Play& play) {
    std::vector<json> commands;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_.PluginDir() / "journal", error), end;
         !error && it != end; it.increment(error)) {
      const std::vector<std::string> lines = quillmark::testing::JournalLines(it->path());
      EXPECT_EQ(quillmark::testing::ChainBreak(lines), "") << it->path();
      for (json& record : quillmark::testing::Records(lines)) {
        if (record.contains("source")) commands.push_back(std::move(record));
      }
    }
    std::vector<std::string> audited;
    for (const std::string& line : play.log) {
      for (const char* kind : {"Player ", "Blocked player ", "RCON client "}) {
        if (line.rfind(std::string("[ASA:Quillmark][info] ") + kind, 0) == 0) {
          audited.push_back(line);
        }
      }
    }
    EXPECT_EQ(commands.size(), audited.size()) << play.out;
    for (std::size_t i = 0; i < std::min(commands.size(), audited.size()); ++i) {
      const json& record = commands[i];
      EXPECT_EQ(AuditLineOf(record), audited[i]) << record.dump();
      // A rule names what let a console command through; nothing let a blocked one through.
      const bool blocked = record["decision"] == "blocked";
      EXPECT_EQ(record.contains("rule") && record["rule"].is_string(),
                record["source"] == "console" && !blocked)
          << record.dump();
    }
    return commands;
  }

  // The audit line of a command's record.
  static std::string AuditLineOf(const json& record) {
    const auto shown = [](const json& text) {
      return quillmark::EscapeForDisplay(text.get<std::string>());
    };
    const std::string on = " on " + shown(record["server"]);
    const std::string command = shown(record["command"]);
    std::string line = "[ASA:Quillmark][info] ";
    if (record["source"] == "rcon") {
      if (record["decision"] != "audited") return "an RCON record " + record.dump();
      line += "RCON client " + record["client"].get<std::string>();  // named as the line names it
      if (!record.contains("packet-type")) return line + " executed " + command + on;
      return line + " sent " + command + " as a packet of type " + record["packet-type"].dump() +
             on;
    }
    const json& position = record["position"];
    const std::string at =
        " at position " + quillmark::PositionText(position[0], position[1], position[2]) + on;
    const std::string who = shown(record["player"]) + " (" + shown(record["eosid"]) + ")";
    if (record["decision"] == "allowed")
      return line + "Player " + who + " executed " + command + at;
    if (record["decision"] != "blocked") return "a console record " + record.dump();
    line += "Blocked player " + who + " from executing " + command + at +
            ", admin: " + record["admin"].dump();
    if (record.contains("refused")) {
      const json& refused = record["refused"];
      line += ", refused part " + refused["part"].dump() + " of " + refused["of"].dump() + ": " +
              shown(refused["command"]);
    }
    return line;
  }
};

// One text of each command record.
std::vector<std::string> Texts(const std::vector<json>& records, const char* key) {
  std::vector<std::string> texts;
  for (const json& record : records) texts.push_back(record.value(key, ""));
  return texts;
}

TEST_F(HostileTextTest, EveryPartIsDecidedAndEveryTextArrivesWholeAndOnOneLine) {
  WriteConfig({{"white-list", {"give", "say"}},
               {"admins",
                {{{"eosid", {"E1"}}, {"allowed-commands", {"fly"}}},
                 {{"eosid", {"???"}}, {"allowed-commands", {"*"}}}}}});
  const std::string languages =
      "\xD0\x97\xD0\xBE\xD1\x8F \xE6\x9D\x8E\xE9\x9B\xB7 Zo\xC3\xA9 \xF0\x9F\xA6\x96";
  const Play play =
      Run("join ada eos=E1 admin name=Ada\n"
          "join rex eos=E2 name=\"" +
              languages +
              "\"\n"
              "join eve eos=\xC3\xA9\xC3\x89\xE6\xBC\xA2 admin name=\"Eve\xE2\x80\xAEgnp.exe\"\n"
              "cmd rex give|DestroyWildDinos\n"
              "cmd rex give \"a|b\"\n"
              "cmd ada fly|fly\n"
              "cmd rex give 1\rDestroyWildDinos\n"
              "cmd rex give 1|// DestroyWildDinos\n"
              "cmd rex say " +
              languages +
              "\n"
              "cmd eve fly\n",
          {"-serverkey=Lab\nel\x1B"});
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.game,
            (std::vector<std::string>{
                "rex ConsoleCommand: \"\"", "rex ConsoleCommand: \"give \"a|b\"\"",
                "ada ConsoleCommand: \"fly|fly\"", "ada   ran: \"fly\"", "ada   ran: \"fly\"",
                "rex ConsoleCommand: \"\"", "rex ConsoleCommand: \"give 1|// DestroyWildDinos\"",
                "rex   ran: \"give 1\"", "rex ConsoleCommand: \"say " + languages + "\"",
                "eve ConsoleCommand: \"\""}));
  const std::string rex = "[ASA:Quillmark][info] Blocked player " + languages + " (E2)";
  const std::string at = " at position X=0.000 Y=0.000 Z=0.000 on Lab\\x0Ael\\x1B";
  EXPECT_EQ(
      play.log,
      (std::vector<std::string>{
          rex + " from executing give|DestroyWildDinos" + at +
              ", admin: false, refused part 2 of 2: DestroyWildDinos",
          "[ASA:Quillmark][info] Player " + languages + " (E2) executed give \"a|b\"" + at,
          "[ASA:Quillmark][info] Player Ada (E1) executed fly|fly" + at,
          rex + " from executing give 1\\x0DDestroyWildDinos" + at +
              ", admin: false, refused part 2 of 2: DestroyWildDinos",
          "[ASA:Quillmark][info] Player " + languages +
              " (E2) executed give 1|// DestroyWildDinos" + at,
          "[ASA:Quillmark][info] Player " + languages + " (E2) executed say " + languages + at,
          "[ASA:Quillmark][info] Blocked player Eve\\u{202E}gnp.exe "
          "(\xC3\xA9\xC3\x89\xE6\xBC\xA2) from executing fly" +
              at + ", admin: true"}));
  const auto descriptions = Descriptions();
  ASSERT_EQ(descriptions.size(), 7u);
  const auto has = [&descriptions](const std::string& text) {
    return std::find(descriptions.begin(), descriptions.end(), text) != descriptions.end();
  };
  EXPECT_TRUE(has("[Lab\\\\x0Ael\\\\x1B]\n Player: " + languages + " (E2)\nExecuted: say " +
                  languages + "\nPosition: X=0.000 Y=0.000 Z=0.000\n"));
  EXPECT_TRUE(
      has("([Lab\\\\x0Ael\\\\x1B]\n Player: Eve\\\\u{202E}gnp.exe "
          "(\xC3\xA9\xC3\x89\xE6\xBC\xA2)\nExecuted: fly\nPosition: X=0.000 Y=0.000 Z=0.000\n"));
  // The journal keeps every text as typed: the carriage return, the bidirectional control and
  // the label's line break and escape are characters of its JSON texts, not the line's escapes.
  const std::vector<json> journal = JournalOf(play);
  EXPECT_EQ(Texts(journal, "command"),
            (std::vector<std::string>{"give|DestroyWildDinos", "give \"a|b\"", "fly|fly",
                                      "give 1\rDestroyWildDinos", "give 1|// DestroyWildDinos",
                                      "say " + languages, "fly"}));
  EXPECT_EQ(Texts(journal, "player"),
            (std::vector<std::string>{languages, languages, "Ada", languages, languages, languages,
                                      "Eve\xE2\x80\xAEgnp.exe"}));
  for (const json& record : journal) EXPECT_EQ(record["server"], "Lab\nel\x1B");
}

// Discord's markdown in a name, a command or the label is shown as typed in the embed, never
// rendered: a fake identity that is a phishing link, a spoiler, mentions. The audit line keeps
// the text without escapes.
TEST_F(HostileTextTest, MarkdownInNamesAndCommandsShowsAsTyped) {
  WriteConfig({{"white-list", {"say"}}});
  const std::string name = "[Mia (0002aa)](https://evil.example/login) ||x||";
  const std::string said = "say **b** ~~s~~ `c` > q <@&1> <#2> @everyone :smile: # h -# t";
  const Play play = Run("join mia eos=0002aa name=\"" + name + "\"\ncmd mia " + said + "\n",
                        {"-serverkey=`Lab`"});
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(play.log, std::vector<std::string>{"[ASA:Quillmark][info] Player " + name +
                                               " (0002aa) executed " + said +
                                               " at position X=0.000 Y=0.000 Z=0.000 on `Lab`"});
  EXPECT_EQ(Descriptions(),
            std::vector<std::string>{
                "[\\`Lab\\`]\n Player: \\[Mia \\(0002aa\\)\\]\\(https\\://evil.example/login\\) "
                "\\|\\|x\\|\\| (0002aa)\nExecuted: say \\*\\*b\\*\\* \\~\\~s\\~\\~ \\`c\\` \\> q "
                "\\<\\@&1\\> \\<\\#2\\> \\@everyone \\:smile\\: \\# h \\-\\# t\nPosition: X=0.000 "
                "Y=0.000 Z=0.000\n"});
  // The journal is no embed: no markdown escapes there.
  const std::vector<json> journal = JournalOf(play);
  EXPECT_EQ(Texts(journal, "command"), std::vector<std::string>{said});
  EXPECT_EQ(Texts(journal, "player"), std::vector<std::string>{name});
  EXPECT_EQ(Texts(journal, "server"), std::vector<std::string>{"`Lab`"});
}

// The password behind any blank the console skips, the server's own password after any command,
// and a character nobody sees inside a word: the same in the audit line, the embed and what the
// player is told.
TEST_F(HostileTextTest, NoBlankHidesAPasswordAndNoInvisibleCharacterHidesInAWord) {
  WriteConfig({{"white-list", {"say"}}, {"messages", {{"blocked", "No: {command}"}}}});
  const Play play =
      Run("join rex eos=E1 name=Rex\n"
          "cmd rex \vEnableCheats hunter2\n"
          "cmd rex \xE3\x80\x80\xC2\xA0"
          "EnableCheats hunter2\n"
          "cmd rex EnableCheat hunter2\n"
          "cmd rex say the pw: hunter2\n"
          "cmd rex Destroy\xE2\x81\xA0WildDinos\n",
          {"TheIsland_WP?listen?ServerAdminPassword=hunter2"});
  EXPECT_EQ(play.exit_code, 0) << play.err;
  const std::vector<std::string> shown = {"\\x0BEnableCheats ***",
                                          "\xE3\x80\x80\xC2\xA0"
                                          "EnableCheats ***",
                                          "EnableCheat ***", "say the pw: ***",
                                          "Destroy\\u{2060}WildDinos"};
  ASSERT_EQ(play.log.size(), shown.size()) << play.out;
  const auto descriptions = Descriptions();
  ASSERT_EQ(descriptions.size(), shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const bool blocked = i != 3;
    EXPECT_NE(play.log[i].find((blocked ? " from executing " : " executed ") + shown[i] + " at "),
              std::string::npos)
        << play.log[i];
    EXPECT_NE(descriptions[i].find("\nExecuted: " + quillmark::EscapeMarkdown(shown[i]) + "\n"),
              std::string::npos)
        << descriptions[i];
  }
  std::vector<std::string> told;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (i != 3) told.push_back("to rex: No: " + shown[i]);
  }
  EXPECT_EQ(play.server, told);
  for (const auto& lines : {play.log, play.server, descriptions}) {
    for (const std::string& line : lines)
      EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
  }
  // The journal hides the passwords where the line does, and keeps the blanks as typed.
  const std::vector<json> journal = JournalOf(play);
  EXPECT_EQ(Texts(journal, "command"),
            (std::vector<std::string>{"\vEnableCheats ***",
                                      "\xE3\x80\x80\xC2\xA0"
                                      "EnableCheats ***",
                                      "EnableCheat ***", "say the pw: ***",
                                      "Destroy\xE2\x81\xA0WildDinos"}));
  for (const json& record : journal) {
    EXPECT_EQ(record.dump().find("hunter2"), std::string::npos) << record.dump();
  }
}

// Texts that spell the audit line's own escapes, quotes and backslashes, from a player and over
// RCON: the audit line cannot tell a typed "\x0D" from a carriage return, the journal can, for
// its texts are JSON's and nothing more. The server's password is hidden in both alike.
TEST_F(HostileTextTest, TheJournalTellsTypedEscapesFromTheCharactersTheLineEscapes) {
  WriteConfig({{"discordwh", ""}, {"white-list", {"say", "ServerChat"}}});
  const Play play =
      Run("join rex eos=E\\1 name=Rex\\x0DSmith\xE2\x80\xA8 pos=-0.5,1e6,3.25\n"
          "cmd rex say \"quoted\" \\back\\slash\ttab\x7F\n"
          "cmd rex say \\u{202E}\xE2\x80\xAE|EnableCheats hunter2\n"
          "rcon ServerChat pw: hunter2 \"q\" \\ \xE2\x81\xA6\x1B[31m\n"
          "rcon EnableCheats\thunter2\n",
          {"TheIsland_WP?listen?ServerAdminPassword=hunter2", "-serverkey=Lab\\x0A"});
  EXPECT_EQ(play.exit_code, 0) << play.err;
  const std::vector<json> journal = JournalOf(play);
  ASSERT_EQ(journal.size(), 4u) << play.out;
  EXPECT_EQ(
      Texts(journal, "command"),
      (std::vector<std::string>{
          "say \"quoted\" \\back\\slash\ttab\x7F", "say \\u{202E}\xE2\x80\xAE|EnableCheats ***",
          "ServerChat pw: *** \"q\" \\ \xE2\x81\xA6\x1B[31m", "EnableCheats ***"}));
  EXPECT_EQ(Texts(journal, "source"),
            (std::vector<std::string>{"console", "console", "rcon", "rcon"}));
  EXPECT_EQ(journal[1]["refused"], (json{{"part", 2}, {"of", 2}, {"command", "EnableCheats ***"}}));
  for (const json& record : journal) {
    EXPECT_EQ(record["server"], "Lab\\x0A");
    EXPECT_EQ(record.dump().find("hunter2"), std::string::npos) << record.dump();
  }
  EXPECT_EQ(journal[0]["player"], "Rex\\x0DSmith\xE2\x80\xA8");
  EXPECT_EQ(journal[0]["eosid"], "E\\1");
  EXPECT_EQ(journal[0]["position"], (json{-0.5, 1e6, 3.25}));
}

// Fields too long for one embed are cut, each marked, so that the embed always shows who, what
// and where; the audit line keeps every character.
TEST_F(HostileTextTest, OversizedFieldsLeaveTheEmbedWhole) {
  WriteConfig({{"white-list", {"say"}}});
  const std::string id(10000, 'e');
  const std::string name(100 * 1024, 'n');
  const Play play = Run("join rex eos=" + id + " name=" + name + " pos=1,2,3\ncmd rex say " +
                        std::string(5000, 's') + "\n");
  ASSERT_EQ(play.log.size(), 1u);
  EXPECT_NE(play.log[0].find(name + " (" + id + ") executed say " + std::string(5000, 's')),
            std::string::npos);
  const auto descriptions = Descriptions();
  ASSERT_EQ(descriptions.size(), 1u);
  const std::string& description = descriptions[0];
  EXPECT_LE(quillmark::testing::Characters(description), 4096u);
  EXPECT_NE(description.find(std::string(" Player: ") + std::string(99, 'n') + "\xE2\x80\xA6 (" +
                             std::string(99, 'e') + "\xE2\x80\xA6)\n"),
            std::string::npos);
  EXPECT_NE(description.find("\nExecuted: say sss"), std::string::npos);
  EXPECT_NE(description.find("s\xE2\x80\xA6\nPosition: X=1.000 Y=2.000 Z=3.000\n"),
            std::string::npos);
  // Nor does the journal cut anything.
  const std::vector<json> journal = JournalOf(play);
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0]["player"], name);
  EXPECT_EQ(journal[0]["eosid"], id);
  EXPECT_EQ(journal[0]["command"], "say " + std::string(5000, 's'));
}

// Escapes count in Discord's limit, and a cut field never ends in half an escape.
TEST_F(HostileTextTest, EscapedFieldsAreCutWholeWithinTheLimit) {
  WriteConfig({{"white-list", {"say"}}});
  const Play play = Run("join rex eos=E1 name=" + std::string(300, '_') +
                        " pos=1,2,3\ncmd rex say " + std::string(5000, '*') + "\n");
  ASSERT_EQ(play.log.size(), 1u);
  const auto descriptions = Descriptions();
  ASSERT_EQ(descriptions.size(), 1u);
  const std::string& description = descriptions[0];
  EXPECT_LE(quillmark::testing::Characters(description), 4096u);
  EXPECT_GE(quillmark::testing::Characters(description), 4095u);  // less a cut-off backslash
  std::string name;
  for (int i = 0; i < 49; ++i) name += "\\_";
  EXPECT_NE(description.find(" Player: " + name + "\xE2\x80\xA6 (E1)\n"), std::string::npos);
  EXPECT_NE(description.find("\\*\\*\xE2\x80\xA6\nPosition: X=1.000 Y=2.000 Z=3.000\n"),
            std::string::npos);
}

// A poster name Discord refuses would make every post fail: it is reported once, when the
// configuration is read, and the posts go out under the default name.
TEST_F(HostileTextTest, APosterNameDiscordRefusesIsReportedOnceAndPostsStillGoOut) {
  WriteConfig({{"white-list", {"give"}}, {"messages", {{"sender", "Discord Audit"}}}});
  const Play play = Run("join rex eos=E1\ncmd rex give\ncmd rex fly\n");
  ASSERT_EQ(play.log.size(), 3u);
  EXPECT_EQ(play.log[0],
            "[ASA:Quillmark][error] config.json: \"messages\".\"sender\" holds \"discord\", which "
            "Discord refuses in a poster's name: posts go out as \"No message\"");
  EXPECT_EQ(Embeds().size(), 2u);  // every post answered 204
  for (const json& post : Posts()) EXPECT_EQ(post["username"], "No message");
}

struct HostileFile {
  const char* name;
  std::size_t repeat;
  char fill;
  const char* opening;
  const char* line;  // the beginning of the one error line
};

class HostileConfigTest : public HostileTextTest,
                          public ::testing::WithParamInterface<HostileFile> {};

// Refused at once with one short line; the server goes on and nothing is policed, which the
// next line says.
TEST_P(HostileConfigTest, IsRefusedWithOneShortLine) {
  const HostileFile& file = GetParam();
  folder_.WriteConfig(file.opening + std::string(file.repeat, file.fill));
  const Play play = Run("join rex eos=E1\ncmd rex fly\n");
  EXPECT_EQ(play.exit_code, 0);
  ASSERT_EQ(play.log.size(), 2u) << play.out.substr(0, 1000);
  EXPECT_EQ(
      play.log[1].rfind("[ASA:Quillmark][error] Console commands reach the game unpoliced", 0), 0u);
  EXPECT_EQ(play.log[0].rfind(std::string("[ASA:Quillmark][error] ") + file.line, 0), 0u)
      << play.log[0].substr(0, 500);
  EXPECT_LT(play.log[0].size(), 400u);
  EXPECT_EQ(play.game, std::vector<std::string>{"rex ConsoleCommand: \"fly\""});
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileConfigTest,
    ::testing::Values(
        HostileFile{"brackets_50_mib", 50u << 20, '[', "",
                    "config.json is larger than 16 MiB; it is not read"},
        HostileFile{"brackets_10_mib", 10u << 20, '[', "",
                    "config.json nests deeper than 64 levels (at line 1, column 65)"},
        HostileFile{"unterminated_string_10_mib", 10u << 20, 'x', "{\"a\": \"",
                    "config.json has a text that is never closed (it opens at line 1, column 7); "
                    "it is not read"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
