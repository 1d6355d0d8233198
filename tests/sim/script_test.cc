// The stand-in server's directives: what each line means, and a clear message for a bad one.
#include "sim/server/script.h"

#include <gtest/gtest.h>

#include "sim/server/server_url.h"

namespace {

using namespace sim::server;

template <typename T>
T Parse(std::string_view line) {
  auto parsed = ParseDirective(line);
  const auto* directive = std::get_if<Directive>(&parsed);
  EXPECT_NE(directive, nullptr) << line << ": " << std::get<std::string>(parsed);
  const T* value = directive == nullptr ? nullptr : std::get_if<T>(directive);
  EXPECT_NE(value, nullptr) << line;
  return value == nullptr ? T{} : *value;
}

std::string Error(std::string_view line) {
  auto parsed = ParseDirective(line);
  const auto* error = std::get_if<std::string>(&parsed);
  return error == nullptr ? "(no error)" : *error;
}

TEST(ScriptTest, JoinTakesQuotedValuesAndFlags) {
  const Join join =
      Parse<Join>(R"(join rex eos=0002ab name="Rex Smith" admin pos=1.5,-2,3e2 noroot)");
  EXPECT_EQ(join.player, "rex");
  EXPECT_EQ(join.eos_id, "0002ab");
  EXPECT_EQ(join.character_name, "Rex Smith");
  EXPECT_TRUE(join.admin);
  EXPECT_FALSE(join.has_root_component);
  EXPECT_DOUBLE_EQ(join.x, 1.5);
  EXPECT_DOUBLE_EQ(join.y, -2);
  EXPECT_DOUBLE_EQ(join.z, 300);
  const Join plain = Parse<Join>("join mia eos=");
  EXPECT_EQ(plain.eos_id, "");
  EXPECT_FALSE(plain.character_name.has_value());
  EXPECT_TRUE(plain.has_root_component);
}

TEST(ScriptTest, CommandIsTheRestOfTheLineVerbatim) {
  EXPECT_EQ(Parse<Command>("cmd rex  give\t{x} \"q\" ").command, " give\t{x} \"q\" ");
  EXPECT_EQ(Parse<Command>("cmd rex").command, "");
  EXPECT_EQ(Parse<Command>("cmd rex ").command, "");
  EXPECT_EQ(Parse<Command>("cmd zo\xC3\xA9 caf\xC3\xA9").player, "zo\xC3\xA9");
}

TEST(ScriptTest, PluginCommandTakesAdminThenTheRestVerbatim) {
  const PluginCommand plain = Parse<PluginCommand>("plugin-cmd mia GiveItem \"x y\" 1");
  EXPECT_EQ(plain.player, "mia");
  EXPECT_FALSE(plain.admin);
  EXPECT_EQ(plain.command, "GiveItem \"x y\" 1");
  const PluginCommand admin = Parse<PluginCommand>("plugin-cmd mia admin  SpawnDino x");
  EXPECT_TRUE(admin.admin);
  EXPECT_EQ(admin.command, " SpawnDino x");
  EXPECT_TRUE(Parse<PluginCommand>("plugin-cmd mia admin").admin);
  EXPECT_EQ(Parse<PluginCommand>("plugin-cmd mia admin").command, "");
  EXPECT_FALSE(Parse<PluginCommand>("plugin-cmd mia administer x").admin);
  EXPECT_EQ(Parse<PluginCommand>("plugin-cmd mia administer x").command, "administer x");
  EXPECT_EQ(Error("plugin-cmd"), "plugin-cmd needs a player");
}

TEST(ScriptTest, OtherDirectives) {
  EXPECT_TRUE(Parse<Admin>("admin rex on").on);
  EXPECT_FALSE(Parse<Admin>("admin rex off").on);
  EXPECT_DOUBLE_EQ(Parse<Move>("move rex 1,2,3").z, 3);
  EXPECT_EQ(Parse<Map>("map Ragnarok_WP").name, "Ragnarok_WP");
  (void)Parse<Wait>("wait");
  EXPECT_EQ(Parse<Rcon>("rcon quillmark.reload  now").command, "quillmark.reload  now");
  EXPECT_EQ(Parse<RconWait>("rcon-wait 3").clients, 3);
  EXPECT_DOUBLE_EQ(Parse<Sleep>("sleep 0.25").seconds, 0.25);
  const Repeat repeat = Parse<Repeat>("repeat 1000 cmd rex say {n}");
  EXPECT_EQ(repeat.count, 1000);
  EXPECT_EQ(repeat.directive, "cmd rex say {n}");
  EXPECT_EQ(Parse<Update>("update").file, "");
  EXPECT_EQ(Parse<Update>("update \"new build/quillmark.dll\"").file, "new build/quillmark.dll");
  (void)Parse<Shutdown>("shutdown");
  (void)Parse<Crash>("crash");
  (void)Parse<Nothing>("");
  (void)Parse<Nothing>("   # a comment");
  const Group group = Parse<Group>("group rex \"Tribe Admins\" on");
  EXPECT_EQ(group.player, "rex");
  EXPECT_EQ(group.group, "Tribe Admins");
  EXPECT_TRUE(group.on);
  EXPECT_FALSE(Parse<Group>("group rex Moderators off").on);
  EXPECT_TRUE(Parse<Permissions>("permissions on").on);
  EXPECT_FALSE(Parse<Permissions>("permissions off").on);
}

TEST(ScriptTest, BadLinesSayWhatIsWrong) {
  EXPECT_EQ(Error("jump rex"), "unknown directive \"jump\"");
  EXPECT_EQ(Error("join rex"), "join needs eos=<id>");
  EXPECT_EQ(Error("join rex eos=1 pos=1,2"), "pos= wants <x>,<y>,<z>, not \"1,2\"");
  EXPECT_EQ(Error("join rex eos=1 flying"), "join does not know \"flying\"");
  EXPECT_EQ(Error("join rex eos=1 name=\"Rex"), "a double quote is not closed");
  EXPECT_EQ(Error("admin rex maybe"), "admin wants <player> on|off");
  EXPECT_EQ(Error("move rex 1,2,x"), "move wants <player> <x>,<y>,<z>");
  EXPECT_EQ(Error("cmd"), "cmd needs a player");
  EXPECT_EQ(Error("wait now"), "wait takes nothing more");
  EXPECT_EQ(Error("update a b"), "update wants at most one file");
  EXPECT_EQ(Error("shutdown now"), "shutdown takes nothing more");
  EXPECT_EQ(Error("crash now"), "crash takes nothing more");
  EXPECT_EQ(Error("sleep -1"), "sleep wants a number of seconds");
  EXPECT_EQ(Error("rcon-wait 0"), "rcon-wait wants a number of clients");
  EXPECT_EQ(Error("rcon-wait 2x"), "rcon-wait wants a number of clients");
  EXPECT_EQ(Error("repeat x cmd rex fly"), "repeat wants <count> <directive>");
  EXPECT_EQ(Error("group rex Moderators"), "group wants <player> <group> on|off");
  EXPECT_EQ(Error("permissions maybe"), "permissions wants on|off");
}

// The map URL's RCON options, read as the game reads them.
TEST(ScriptTest, ServerUrlOptions) {
  const auto url = [](std::string_view text) {
    auto parsed = ParseServerUrl(text);
    EXPECT_TRUE(std::holds_alternative<ServerUrl>(parsed)) << text;
    return std::holds_alternative<ServerUrl>(parsed) ? std::get<ServerUrl>(parsed) : ServerUrl{};
  };
  const ServerUrl full =
      url("TheIsland_WP?listen?rconenabled=TRUE?RCONPort=32330?ServerAdminPassword=a=b?x");
  EXPECT_EQ(full.map, "TheIsland_WP");
  EXPECT_TRUE(full.rcon_enabled);
  EXPECT_EQ(full.rcon_port, 32330);
  EXPECT_EQ(full.admin_password, "a=b");
  const ServerUrl plain = url("Ragnarok_WP");
  EXPECT_FALSE(plain.rcon_enabled);
  EXPECT_EQ(plain.rcon_port, kDefaultRconPort);
  EXPECT_FALSE(url("?RCONEnabled=True?RCONEnabled=False").rcon_enabled);  // the last one counts
  EXPECT_EQ(url("?RCONEnabled=True").map, "");
  EXPECT_EQ(std::get<std::string>(ParseServerUrl("X?RCONPort=-1")),
            "RCONPort wants a port from 0 to 65535, not \"-1\"");
  EXPECT_TRUE(std::holds_alternative<std::string>(ParseServerUrl("X?RCONPort=")));
}

}  // namespace
