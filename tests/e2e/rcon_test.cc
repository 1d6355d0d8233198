// RCON into the stand-in server through clients no one here wrote: Debian's rconclt and its
// python3-rcon library, against the listener the server starts as the game does. Meanwhile
// players type commands, with the channel for blocked commands only and a message for blocked
// players. What is checked is what an operator sees: audit lines, embeds, what players are told,
// what the clients received, and that the RCON password shows nowhere.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <thread>

#include "e2e/stand_in.h"

namespace {

using quillmark::testing::Play;
using quillmark::testing::ProcessResult;
using quillmark::testing::RunProcess;

constexpr char kPassword[] = "s3cret-pw";

class RconTest : public quillmark::testing::StandInTest {
 protected:
  // The port the server listens on, once it has written it.
  static int WaitForPort(const std::filesystem::path& file) {
    for (int i = 0; i < 200; ++i) {
      std::ifstream in(file);
      int port = 0;
      if (in >> port && port > 0) return port;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }
  static ProcessResult Rconclt(int port, const std::string& password,
                               const std::vector<std::string>& command) {
    std::vector<std::string> args = {password + "@127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), command.begin(), command.end());
    return RunProcess(QUILLMARK_RCONCLT, args);
  }
  // The text with every client's port replaced by "P".
  static std::string AnyPort(const std::string& text) {
    return std::regex_replace(text, std::regex("127\\.0\\.0\\.1:[0-9]+"), "127.0.0.1:P");
  }
};

TEST_F(RconTest, DebiansClientsAreAuditedAndBadPacketsCloseOnlyTheirConnection) {
  WriteConfig({{"white-list", {"give"}},
               {"messages", {{"blocked", "Refused: {command}"}}},
               {"discord", {{"notify", "blocked"}, {"posts-per-minute", 30 * kTimeScale}}}});
  const auto port_file = folder_.Root() / "rcon-port";
  // Five rconclt runs and the eight connections of rcon_client.py: the play ends only when all
  // of them have come and gone, so that none is cut off by the server's stop.
  constexpr int kClients = 13;
  auto server = std::async(std::launch::async, [&] {
    return Run(
        "join rex eos=E1 name=Rex\ncmd rex give 1\ncmd rex fly\nrcon-wait " +
            std::to_string(kClients) + "\ncmd rex give 2\n",
        {std::string("TheIsland_WP?RCONEnabled=True?RCONPort=0?ServerAdminPassword=") + kPassword,
         "--rcon-port-file", port_file.string(), "-serverkey=Demo"});
  });
  const int port = WaitForPort(port_file);
  ASSERT_GT(port, 0) << "the server did not listen";

  const ProcessResult listed = Rconclt(port, kPassword, {"ListPlayers"});
  const ProcessResult refused = Rconclt(port, "wrong", {"ListPlayers"});
  const ProcessResult cheats = Rconclt(port, kPassword, {"EnableCheats", kPassword});
  const ProcessResult chat = Rconclt(port, kPassword, {"ServerChat", "pw", kPassword, "ok"});
  const ProcessResult reload = Rconclt(port, kPassword, {"quillmark.reload"});
  const ProcessResult raw = RunProcess(
      QUILLMARK_RCON_PYTHON, {std::string(QUILLMARK_SOURCE_DIR) + "/tests/e2e/rcon_client.py",
                              std::to_string(port), kPassword});
  const Play play = server.get();

  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.out, "Server received, But no response!! \n");
  EXPECT_EQ(refused.exit_code, 5) << refused.err;  // rconclt's "Wrong password."
  EXPECT_EQ(reload.out,
            "config.json reloaded: 1 white-list entries, 0 admin entries, 0 EOS ids, "
            "webhook on\n");
  EXPECT_EQ(raw.exit_code, 0) << raw.err;
  EXPECT_EQ(raw.out,
            "before authentication: no answer\n"
            "empty command: Server received, But no response!! \n"
            "split packet: Server received, But no response!! \n"
            "largest body: Server received, But no response!! \n"
            "oversized packet: closed\n"
            "packet too small: closed\n"
            "packet without its end: closed\n"
            "another client: closed / Server received, But no response!! \n");

  // One line per command of an authenticated client, naming it; nothing for the rest.
  std::vector<std::string> rcon_lines;
  for (const std::string& line : play.log) {
    if (line.find("RCON client") != std::string::npos) rcon_lines.push_back(AnyPort(line));
  }
  const std::string audit = "[ASA:Quillmark][info] RCON client ";
  ASSERT_EQ(rcon_lines.size(), 8u) << play.out;
  EXPECT_EQ(rcon_lines[0], audit + "#1 (127.0.0.1:P) executed ListPlayers on Demo");
  EXPECT_EQ(rcon_lines[1], audit + "#2 (127.0.0.1:P) executed EnableCheats *** on Demo");
  EXPECT_EQ(rcon_lines[2], audit + "#3 (127.0.0.1:P) executed ServerChat pw *** ok on Demo");
  EXPECT_EQ(rcon_lines[3], audit + "#4 (127.0.0.1:P) executed quillmark.reload on Demo");
  EXPECT_EQ(rcon_lines[4], audit + "#5 (127.0.0.1:P) executed  on Demo");
  EXPECT_EQ(rcon_lines[5], audit + "#6 (127.0.0.1:P) executed ServerChat split on Demo");
  EXPECT_EQ(rcon_lines[6],
            audit + "#7 (127.0.0.1:P) executed Broadcast " + std::string(4086, 'z') + " on Demo");
  EXPECT_EQ(rcon_lines[7], audit + "#8 (127.0.0.1:P) executed ListPlayers on Demo");

  // The players: allowed commands in the log only, blocked ones in both, and Rex told.
  EXPECT_NE(std::find_if(play.log.begin(), play.log.end(),
                         [](const std::string& l) { return l.find("executed give 2") != l.npos; }),
            play.log.end());
  EXPECT_EQ(play.server, std::vector<std::string>{"to rex: Refused: fly"});
  std::vector<std::string> titles;
  for (const auto& embed : Embeds()) {
    titles.push_back(embed["title"]);
    EXPECT_EQ(embed["description"].get<std::string>().find("give"), std::string::npos);
  }
  EXPECT_EQ(std::count(titles.begin(), titles.end(), ":x: Blocked Command"), 1);
  EXPECT_EQ(std::count(titles.begin(), titles.end(), ":satellite: RCON Command"), 8);
  EXPECT_EQ(titles.size(), 9u);

  // The listener closed exactly the clients that sent a bad packet, and said why.
  std::vector<std::string> closed;
  for (const std::string& note : play.net) {
    if (note.find("closed:") != std::string::npos) closed.push_back(AnyPort(note));
  }
  const std::string client = "RCON client 127.0.0.1:P closed: it sent a packet ";
  EXPECT_EQ(closed, (std::vector<std::string>{
                        client + "of size 4107, outside the 10 to 4106 that Source RCON allows",
                        client + "of size 4, outside the 10 to 4106 that Source RCON allows",
                        client + "that does not end in two zero bytes",
                        client + "of size 5010, outside the 10 to 4106 that Source RCON allows"}));
  // The password shows nowhere: not in a line, an embed, or anything the server wrote.
  EXPECT_EQ(play.out.find(kPassword), std::string::npos);
  EXPECT_EQ(play.err, "");
  for (const auto& post : receiver_.Requests()) {
    EXPECT_EQ(post.body.find(kPassword), std::string::npos);
  }
}

TEST_F(RconTest, ListensOnlyAsTheGameWould) {
  WriteConfig({{"white-list", {"give"}}});
  const Play no_password = Run("", {"TheIsland_WP?RCONEnabled=True?RCONPort=0"});
  EXPECT_EQ(no_password.err,
            "quillmark-sim: RCON is not started: it needs ?ServerAdminPassword=\n");
  EXPECT_TRUE(no_password.net.empty());
  const Play disabled = Run("", {"TheIsland_WP?RCONEnabled=False?ServerAdminPassword=x"});
  EXPECT_TRUE(disabled.net.empty());
  const Play bad_port = Run("", {"TheIsland_WP?RCONPort=70000"});
  EXPECT_EQ(bad_port.exit_code, 2);
  EXPECT_NE(bad_port.err.find("RCONPort wants a port from 0 to 65535, not \"70000\""),
            std::string::npos);
  const Play flag = Run("", {"--rcon-port", "0", "TheIsland_WP?ServerAdminPassword=x"});
  ASSERT_EQ(flag.net.size(), 1u);
  EXPECT_EQ(flag.net[0].rfind("RCON listening on 127.0.0.1:", 0), 0u);
}

}  // namespace
