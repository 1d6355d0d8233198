// Delivery to Discord through the whole system, against the Discord stand-in at Discord's own
// limits with its time shrunk (the plugin's pace shrunk to match): bursts and steady traffic
// arrive whole and in order without a 429, failures are waited out, a deleted webhook is given
// up with one line, a dead endpoint neither stalls the game nor grows without bound, and a gap
// embed takes the place of what could not wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "e2e/stand_in.h"

namespace {

using nlohmann::json;
using quillmark::testing::Play;
using quillmark::tools::WebhookReceiver;

class DeliveryTest : public quillmark::testing::StandInTest {
 protected:
  // The stand-in's minutes, in the real seconds of the play.
  static double ScaledSeconds(double seconds) { return seconds / kTimeScale; }

  // Commands "say <first>" to "say <last>", each followed by `gap_seconds` of play.
  static std::string Commands(int first, int last, double gap_seconds = 0) {
    std::ostringstream script;
    for (int n = first; n <= last; ++n) {
      script << "cmd rex say " << n << "\n";
      if (gap_seconds > 0) script << "sleep " << gap_seconds << "\n";
    }
    return script.str();
  }

  void ExpectInOrder(std::size_t embeds) {
    const auto summary = receiver_.GetSummary();
    EXPECT_EQ(summary.embeds, embeds);
    EXPECT_EQ(summary.limited_user, 0u);
    EXPECT_EQ(summary.limited_shared, 0u);
    EXPECT_EQ(summary.limited_global, 0u);
    ASSERT_EQ(summary.webhooks.size(), 1u);
    EXPECT_EQ(summary.webhooks[0].numbered, embeds);
    EXPECT_EQ(summary.webhooks[0].out_of_order, 0u);
    EXPECT_EQ(summary.webhooks[0].repeated, 0u);
  }

  std::size_t Lines(const Play& play, const std::string& start) {
    return static_cast<std::size_t>(
        std::count_if(play.log.begin(), play.log.end(),
                      [&start](const std::string& line) { return line.rfind(start, 0) == 0; }));
  }
};

// A burst of 1,000 commands, then 200 a minute for five minutes: every embed arrives, in the
// order of the commands, with no 429 of any scope.
TEST_F(DeliveryTest, ABurstThenSteadyTrafficArriveWholeInOrderWithout429) {
  WriteConfig({{"white-list", {"say"}}});
  const Play play = Run("join rex eos=E1\nrepeat 1000 cmd rex say {n}\n" +
                        Commands(1001, 2000, ScaledSeconds(60.0 / 200)));
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  EXPECT_EQ(play.log.size(), 2000u);  // the audit lines, and no error line
  ExpectInOrder(2000);
}

class DeliveryThreadTest : public DeliveryTest, public ::testing::WithParamInterface<bool> {};

// Discord fails with 500 for 30 s, then hangs, then closes connections, then comes back: every
// embed still arrives, in order, and the failure is logged once; with the framework's callbacks
// on the game thread and with a host's on its own threads.
TEST_P(DeliveryThreadTest, FailuresAreWaitedOutAndNothingIsLostOrRepeated) {
  WriteConfig({{"white-list", {"say"}}});
  using Phase = WebhookReceiver::Phase;
  const auto scaled = [](int seconds) {
    return std::chrono::milliseconds(seconds * 1000 / kTimeScale);
  };
  receiver_.SetFaults({Phase{WebhookReceiver::Fault::kServerError, scaled(30)},
                       Phase{WebhookReceiver::Fault::kNeverAnswer, scaled(20)},
                       Phase{WebhookReceiver::Fault::kCloseConnection, scaled(20)}});
  const Play play = Run(
      "join rex eos=E1\n" + Commands(1, 60, ScaledSeconds(2)),
      GetParam() ? std::vector<std::string>{"--callbacks-on-worker"} : std::vector<std::string>{});
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  EXPECT_EQ(Lines(play, "[ASA:Quillmark][error] Error sending command to Discord. Error: 500"), 1u);
  ExpectInOrder(60);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, DeliveryThreadTest, ::testing::Values(false, true),
                         [](const auto& param_info) {
                           return std::string(param_info.param ? "on_the_hosts_thread"
                                                               : "on_a_frame");
                         });

TEST_F(DeliveryTest, AWebhookDiscordDeletedIsGivenUpWithOneLine) {
  WriteConfig({{"white-list", {"say"}}});
  receiver_.DeleteWebhook("1234");
  const Play play = Run("join rex eos=E1\n" + Commands(1, 5, ScaledSeconds(4)));
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");  // nothing left waiting: given up
  EXPECT_EQ(receiver_.Requests().size(), 1u);
  EXPECT_EQ(Lines(play,
                  "[ASA:Quillmark][error] Discord answered 404 Not Found for the webhook: it "
                  "was deleted or its token is wrong. Nothing more is posted to it until "
                  "the plugin is reloaded;"),
            1u);
  EXPECT_EQ(play.log.size(), 6u);
}

// An endpoint dead for good under many commands: the game never waits, memory stays bounded by
// the queue's limit (three times the commands take no more), and every command not delivered
// is counted.
TEST_F(DeliveryTest, ADeadEndpointNeitherStallsTheGameNorGrows) {
  WriteConfig({{"white-list", {"say"}},
               {"discordwh", WebhookReceiver::RefusingUrl()},
               {"discord", {{"queue-limit", 500}}}});
  // The plugin is unloaded at the end, so that the server does not wait for what cannot come.
  const auto play = [this](int commands) {
    return Run("join rex eos=E1\nrepeat " + std::to_string(commands) +
                   " cmd rex say {n}\nrcon plugins.unload quillmark\n",
               {"--stats"});
  };
  // Freed memory counts as resident while AddressSanitizer holds it back.
  quillmark::testing::SetEnvironment("ASAN_OPTIONS", "quarantine_size_mb=0");
  const Play fewer = play(3000);
  const int commands = 9000;
  const Play dead = play(commands);
  quillmark::testing::SetEnvironment("ASAN_OPTIONS", "");
  EXPECT_EQ(dead.exit_code, 0);
  EXPECT_EQ(dead.commands, commands);
  EXPECT_LT(dead.longest_us, 100000);  // no command waited for the network
  if (fewer.peak_kib > 0) {
    EXPECT_LT(dead.peak_kib, fewer.peak_kib + 8 * 1024);
  }
  EXPECT_EQ(Lines(dead, "[ASA:Quillmark][error] Error sending command to Discord."), 1u);
  EXPECT_EQ(Lines(dead,
                  "[ASA:Quillmark][error] Discord delivery: 500 notifications are "
                  "waiting"),
            1u);
  const auto stop = std::find_if(dead.log.begin(), dead.log.end(), [](const std::string& line) {
    return line.rfind("[ASA:Quillmark][error] Discord delivery stopped with the plugin: ", 0) == 0;
  });
  ASSERT_NE(stop, dead.log.end());
  long long not_posted = 0;
  long long unknown = 0;
  long long omitted = 0;
  ASSERT_EQ(std::sscanf(stop->c_str() + 65,
                        "%lld notifications not posted, %lld posted whose answer did not reach "
                        "the plugin before it stopped, %lld omitted",
                        &not_posted, &unknown, &omitted),
            3)
      << *stop;
  EXPECT_EQ(not_posted + unknown, 500);
  EXPECT_EQ(not_posted + unknown + omitted, commands + 1);  // and the RCON command that unloads
}

// An unload gives what waits its last post. With a host that answers on its own threads the
// plugin hears every answer within the second, so that nothing is left to report.
TEST_F(DeliveryTest, AnUnloadGivesWhatWaitsItsLastPostAndReportsOnlyWhatIsLeft) {
  // The unload comes over RCON, whose own embed would follow the commands' (not audited here).
  WriteConfig({{"white-list", {"say"}}, {"rcon", {{"audit", false}}}});
  const std::string script =
      "join rex eos=E1\ncmd rex say 1\nsleep 0.2\n"  // answered: the host's threads are known
      "cmd rex say 2\ncmd rex say 3\ncmd rex say 4\nrcon plugins.unload quillmark\n";
  const Play heard = Run(script, {"--callbacks-on-worker"});
  EXPECT_EQ(heard.exit_code, 0);
  EXPECT_EQ(heard.err, "");
  EXPECT_EQ(Lines(heard, "[ASA:Quillmark][error]"), 0u);
  ExpectInOrder(4);
}

// When an endpoint that was down comes back after the queue overflowed, one embed says how many
// commands of the player who flooded it it does not show, in their place in the order; another
// player's command after the flood takes the place of the flood's newest and reaches the
// channel.
TEST_F(DeliveryTest, AGapEmbedTakesThePlaceOfWhatCouldNotWait) {
  WriteConfig({{"white-list", {"say"}},
               {"discord", {{"queue-limit", 20}, {"posts-per-minute", 30 * kTimeScale}}}});
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer, std::chrono::milliseconds(1000));
  const Play play =
      Run("join rex eos=E1 name=Rex\njoin ada eos=E2 name=Ada\nrepeat 100 cmd rex say {n}\n"
          "cmd ada say 500\nsleep 3\n" +
          Commands(101, 103));
  EXPECT_EQ(play.exit_code, 0);
  EXPECT_EQ(play.err, "");
  const std::vector<std::string> shown = SaidInEmbeds();
  std::vector<std::string> expected;
  for (int n = 1; n <= 19; ++n) expected.push_back(std::to_string(n));
  ASSERT_EQ(shown.size(), 24u);
  EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 19), expected);
  EXPECT_EQ(shown[19].rfind("81 more commands of Rex not shown here between ", 0), 0u) << shown[19];
  EXPECT_EQ(std::vector<std::string>(shown.begin() + 20, shown.end()),
            (std::vector<std::string>{"500", "101", "102", "103"}));
}

}  // namespace
