// The Discord notifier over real HTTP to the Discord stand-in, through the host's request
// service and frames: the body byte for byte, what is posted under which name, what the
// configuration says, and the error line of every kind of failed post, which is retried until
// it is delivered.
#include "notify/discord.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/plugin_fixture.h"

namespace {

using nlohmann::json;
using quillmark::Notice;
using quillmark::NotifySettings;
using quillmark::PostToDiscord;
using quillmark::ReadNotifySettings;
using quillmark::testing::PluginFixture;
using quillmark::tools::WebhookReceiver;

constexpr char kMessage[] =
    "[Demo]\n Player: Rex (000201) \nExecuted: fly\nPosition: X=1.000 Y=2.000 Z=3.000\n";

std::string ExpectedBody(const std::string& title, const std::string& description, int color,
                         const std::string& username) {
  return "{\n\t\t\t\"embeds\": [{\n\t\t\t\t\"title\": \"" + title +
         "\",\n\t\t\t\t\"description\": \"" + description +
         "\",\n\t\t\t\t\"color\": " + std::to_string(color) +
         "\n\t\t\t}],\n\t\t\t\"username\": \"" + username +
         "\",\n\t\t\t\"avatar_url\": null,\n\t\t\t\"allowed_mentions\": {\"parse\": []}\n\t\t}";
}

class DiscordTest : public PluginFixture {
 protected:
  // The one post that arrived, after every pending post has completed.
  WebhookReceiver::Received OnlyPost() {
    Settle();
    const auto posts = receiver_.Requests();
    EXPECT_EQ(posts.size(), 1u);
    return posts.empty() ? WebhookReceiver::Received{} : posts[0];
  }
  std::vector<std::string> Errors() {
    std::vector<std::string> errors;
    for (const std::string& m : sink_->Messages()) {
      if (m.rfind("error: ", 0) == 0) errors.push_back(m.substr(7));
    }
    return errors;
  }
};

TEST_F(DiscordTest, AllowedPostIsTheTemplateByteForByte) {
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  const auto post = OnlyPost();
  EXPECT_EQ(post.path, "/api/webhooks/1234/token");
  EXPECT_EQ(post.content_type, "application/json");
  EXPECT_EQ(post.body,
            ExpectedBody(":white_check_mark: Allowed Command",
                         "[Demo]\\n Player: Rex (000201) \\nExecuted: fly\\nPosition: X=1.000 "
                         "Y=2.000 Z=3.000\\n",
                         65280, "Quillmark"));
  EXPECT_EQ(post.status, 204);
  EXPECT_TRUE(sink_->Messages().empty());
}

TEST_F(DiscordTest, BlockedPostIsRedWithItsOwnTitle) {
  PostToDiscord(settings_, "([Demo]\n Player: x", Notice::kBlocked, "Rex (E1)");
  const auto post = OnlyPost();
  EXPECT_EQ(post.body,
            ExpectedBody(":x: Blocked Command", "([Demo]\\n Player: x", 16711680, "Quillmark"));
  EXPECT_EQ(post.body.substr(post.body.size() - 3), "\t\t}");
  EXPECT_EQ(post.status, 204);
}

TEST_F(DiscordTest, EmptyMessageIsStillPosted) {
  PostToDiscord(settings_, "", Notice::kAllowed, "Rex (E1)");
  EXPECT_NE(OnlyPost().body.find("\"description\": \"\","), std::string::npos);
}

TEST_F(DiscordTest, NoWebhookMeansNoRequestAndNoLine) {
  settings_.webhook.clear();
  const auto before = sim::GetRequestStats();
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  EXPECT_EQ(sim::GetRequestStats().handed_over, before.handed_over);
  Settle();
  EXPECT_TRUE(receiver_.Requests().empty());
  EXPECT_TRUE(sink_->Messages().empty());
}

// What is read from the configuration when it is put in force, and each problem found there.
struct SettingsCase {
  const char* name;
  json config;
  const char* webhook;
  const char* poster;
  const char* problem;  // null: none
  bool blocked_only = false;
};

class NotifySettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(NotifySettingsTest, ReadsTheWebhookAndANameDiscordAccepts) {
  std::vector<quillmark::ConfigProblem> problems;
  const NotifySettings settings = ReadNotifySettings(GetParam().config, problems);
  EXPECT_EQ(settings.webhook, GetParam().webhook);
  EXPECT_EQ(settings.poster, GetParam().poster);
  EXPECT_EQ(settings.blocked_only, GetParam().blocked_only);
  std::vector<std::string> messages;
  for (const auto& problem : problems) messages.push_back(problem.message);
  EXPECT_EQ(messages, GetParam().problem == nullptr ? std::vector<std::string>{}
                                                    : std::vector<std::string>{GetParam().problem});
}

const std::string kLongName(81, 'n');
const std::string kLongestName(80, 'n');

INSTANTIATE_TEST_SUITE_P(
    Configs, NotifySettingsTest,
    ::testing::Values(
        SettingsCase{"sender",
                     {{"discordwh", "U"}, {"messages", {{"sender", "Audit"}}}},
                     "U",
                     "Audit",
                     nullptr},
        SettingsCase{"no_sender",
                     {{"discordwh", "U"}, {"messages", json::object()}},
                     "U",
                     "No message",
                     nullptr},
        SettingsCase{"no_messages", {{"discordwh", "U"}}, "U", "No message", nullptr},
        SettingsCase{
            "no_webhook_no_look_at_messages", {{"messages", 5}}, "", "No message", nullptr},
        SettingsCase{
            "non_ascii_name_kept",
            {{"discordwh", "U"}, {"messages", {{"sender", "R\xC3\xA9x \xF0\x9F\xA6\x96"}}}},
            "U",
            "R\xC3\xA9x \xF0\x9F\xA6\x96",
            nullptr},
        SettingsCase{"longest_name",
                     {{"discordwh", "U"}, {"messages", {{"sender", kLongestName}}}},
                     "U",
                     kLongestName.c_str(),
                     nullptr},
        SettingsCase{"too_long_name",
                     {{"discordwh", "U"}, {"messages", {{"sender", kLongName}}}},
                     "U",
                     "No message",
                     "config.json: \"messages\".\"sender\" has 81 characters, more than the 80 "
                     "Discord accepts: posts go out as \"No message\""},
        SettingsCase{
            "forbidden_word",
            {{"discordwh", "U"}, {"messages", {{"sender", "Audit DisCord"}}}},
            "U",
            "No message",
            "config.json: \"messages\".\"sender\" holds \"discord\", which Discord refuses "
            "in a poster's name: posts go out as \"No message\""},
        SettingsCase{"clyde",
                     {{"discordwh", "U"}, {"messages", {{"sender", "CLYDE"}}}},
                     "U",
                     "No message",
                     "config.json: \"messages\".\"sender\" holds \"clyde\", which Discord refuses "
                     "in a poster's name: posts go out as \"No message\""},
        SettingsCase{"empty_name",
                     {{"discordwh", "U"}, {"messages", {{"sender", ""}}}},
                     "U",
                     "No message",
                     "config.json: \"messages\".\"sender\" is empty, which Discord refuses: posts "
                     "go out as \"No message\""},
        SettingsCase{"sender_not_text",
                     {{"discordwh", "U"}, {"messages", {{"sender", false}}}},
                     "U",
                     "No message",
                     "config.json: \"messages\".\"sender\" must be text, but is boolean: posts go "
                     "out as \"No message\""},
        SettingsCase{"messages_not_object",
                     {{"discordwh", "U"}, {"messages", "x"}},
                     "U",
                     "No message",
                     "config.json: \"messages\" must be an object, but is string: posts go out as "
                     "\"No message\""},
        SettingsCase{"webhook_not_text",
                     {{"discordwh", 42}},
                     "",
                     "No message",
                     "config.json: \"discordwh\" must be text, but is number: Discord "
                     "notifications are off"},
        SettingsCase{"notify_blocked",
                     {{"discordwh", "U"}, {"discord", {{"notify", "blocked"}}}},
                     "U",
                     "No message",
                     nullptr,
                     true},
        SettingsCase{"notify_all",
                     {{"discordwh", "U"}, {"discord", {{"notify", "all"}}}},
                     "U",
                     "No message",
                     nullptr},
        SettingsCase{"notify_unknown",
                     {{"discordwh", "U"}, {"discord", {{"notify", "Blocked"}}}},
                     "U",
                     "No message",
                     "config.json: \"discord\".\"notify\" must be \"all\" or \"blocked\", but is "
                     "\"Blocked\": every command is posted"},
        SettingsCase{"top_level_array", json::array({1}), "", "No message",
                     "config.json: the top level must be an object, but is array: Discord "
                     "notifications are off"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DiscordTest, PostsUnderTheConfiguredName) {
  settings_.poster = "R\xC3\xA9x \xF0\x9F\xA6\x96 \"Audit\"";
  PostToDiscord(settings_, "m", Notice::kAllowed, "Rex (E1)");
  const auto post = OnlyPost();
  EXPECT_EQ(json::parse(post.body)["username"], settings_.poster);
  EXPECT_EQ(post.status, 204);
}

TEST_F(DiscordTest, HostileMessageGivesValidJsonShowingTheTextAsTyped) {
  const std::string hostile =
      "[S]\nExecuted: say \"}], \"username\": \"x\", \"content\": \"@everyone\"\\ \t\x01\x1F {}\r";
  PostToDiscord(settings_, hostile, Notice::kBlocked, "Rex (E1)");
  const auto post = OnlyPost();
  const json body = json::parse(post.body);  // throws, failing the test, if invalid
  EXPECT_EQ(body["embeds"][0]["description"], hostile);
  EXPECT_EQ(body["username"], "Quillmark");
  EXPECT_FALSE(body.contains("content"));
  EXPECT_EQ(post.status, 204);
}

TEST_F(DiscordTest, OverlongDescriptionIsCutToWhatDiscordAccepts) {
  PostToDiscord(settings_, std::string(10000, 'd'), Notice::kBlocked, "Rex (E1)");
  const auto post = OnlyPost();
  const std::string description = json::parse(post.body)["embeds"][0]["description"];
  EXPECT_EQ(description, std::string(4095, 'd') + "\xE2\x80\xA6");
  EXPECT_EQ(post.status, 204);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(DiscordTest, DescriptionAtTheLimitIsNotCut) {
  PostToDiscord(settings_, std::string(4096, 'd'), Notice::kAllowed, "Rex (E1)");
  EXPECT_EQ(json::parse(OnlyPost().body)["embeds"][0]["description"], std::string(4096, 'd'));
}

// A failed post writes its error line once, and is retried until the webhook answers again.
struct FailureCase {
  const char* name;
  WebhookReceiver::Fault fault;
  const char* error;
};

class DiscordFailureTest : public DiscordTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DiscordFailureTest, WritesOneErrorLineAndIsRetriedUntilDelivered) {
  sim::SetRequestOptions({.max_timeout = std::chrono::milliseconds(500)});
  receiver_.SetFault(GetParam().fault);
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  ASSERT_TRUE(sim::RunFramesUntil([this] { return !Errors().empty(); }, std::chrono::seconds(20)));
  EXPECT_EQ(Errors(), std::vector<std::string>{std::string("Error sending command to Discord. "
                                                           "Error: ") +
                                               GetParam().error});
  receiver_.SetFault(WebhookReceiver::Fault::kNone);
  receiver_.ReleaseHeld();
  Settle();
  const auto posts = receiver_.Requests();
  ASSERT_GE(posts.size(), 2u);
  EXPECT_EQ(posts.back().status, 204);
  EXPECT_EQ(posts.back().body, posts.front().body);  // the same notification, again
  EXPECT_EQ(Errors().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiscordFailureTest,
    ::testing::Values(FailureCase{"server_error", WebhookReceiver::Fault::kServerError,
                                  "500 Internal Server Error"},
                      FailureCase{"closed_connection", WebhookReceiver::Fault::kCloseConnection,
                                  "no response (connection failed or timed out)"},
                      FailureCase{"no_answer", WebhookReceiver::Fault::kNeverAnswer,
                                  "no response (connection failed or timed out)"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DiscordTest, AnEmbedDiscordRefusesGetsOneLineNamingItsPlayer) {
  settings_.poster = "Discord Bot";  // a name Discord forbids, were it not caught at load
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  Settle();
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Discord refused the notification of Rex (E1)'s command at ", 0), 0u)
      << errors[0];
  EXPECT_NE(errors[0].find("(400 Bad Request)"), std::string::npos);
}

// Six commands at once would be past Discord's five posts per two seconds for one webhook: the
// first goes at once, the other five wait for the pace and go in one post, in order.
TEST_F(DiscordTest, ABurstIsPacedAndBatchedInOrder) {
  for (int n = 1; n <= 6; ++n) {
    PostToDiscord(settings_, "Executed: say " + std::to_string(n), Notice::kAllowed, "Rex (E1)");
  }
  Settle();
  const auto posts = receiver_.Requests();
  ASSERT_EQ(posts.size(), 2u);
  std::vector<std::string> descriptions;
  for (const auto& post : posts) {
    EXPECT_EQ(post.status, 204);
    const json body = json::parse(post.body);
    for (const auto& embed : body["embeds"]) {
      descriptions.push_back(embed["description"]);
    }
  }
  EXPECT_EQ(descriptions,
            (std::vector<std::string>{"Executed: say 1", "Executed: say 2", "Executed: say 3",
                                      "Executed: say 4", "Executed: say 5", "Executed: say 6"}));
  EXPECT_TRUE(Errors().empty());
}

TEST_F(DiscordTest, RefusedConnectionLeavesTheReasonToTheFrameworksLog) {
  settings_.webhook = WebhookReceiver::RefusingUrl();
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  ASSERT_TRUE(sim::RunFramesUntil([this] { return !Errors().empty(); }, std::chrono::seconds(20)));
  EXPECT_EQ(Errors(), std::vector<std::string>{"Error sending command to Discord. Error: no "
                                               "response (connection failed or timed out)"});
  const auto framework = sink_->FrameworkMessages();
  ASSERT_FALSE(framework.empty());
  EXPECT_EQ(framework[0].rfind("error: HTTP request to '127.0.0.1' failed: ", 0), 0u)
      << framework[0];
}

TEST_F(DiscordTest, ReturnsBeforeTheReceiverAnswers) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  // Returned, and the post is now held by the receiver: nothing has completed.
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  EXPECT_EQ(quillmark::WaitingNotifications(), 1u);
  receiver_.ReleaseHeld();
  Settle();
  EXPECT_EQ(quillmark::WaitingNotifications(), 0u);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(DiscordTest, RefusedHandOverIsLoggedAndRetried) {
  sim::SetRequestOptions({.refuse_handover = true});
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  EXPECT_EQ(Errors(), std::vector<std::string>{"Error sending command to Discord. Error: the "
                                               "request could not be handed over"});
  sim::SetRequestOptions({});
  Settle();
  EXPECT_EQ(receiver_.Requests().size(), 1u);
}

// The plugin's stop waits about a second for a post in flight, then says what was not
// delivered; no callback of the plugin runs after it.
TEST_F(DiscordTest, StopSaysWhatWasNotDelivered) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  PostToDiscord(settings_, kMessage, Notice::kAllowed, "Rex (E1)");
  PostToDiscord(settings_, kMessage, Notice::kBlocked, "Rex (E1)");
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  quillmark::StopNotifier();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Discord delivery stopped with the plugin: 1 "
                                               "notifications not posted, 1 posted whose answer "
                                               "did not reach the plugin before it stopped, 0 "
                                               "omitted while the queue was full and not yet "
                                               "counted in the channel; the server log has their "
                                               "commands"});
}

}  // namespace
