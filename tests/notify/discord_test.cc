// The Discord notifier over real HTTP to the Discord stand-in: the body byte for byte, what is
// posted under which name, the error line of every kind of failed post, and a configuration
// that cannot be used.
#include "notify/discord.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/plugin_fixture.h"

namespace {

using nlohmann::json;
using quillmark::PluginConfig;
using quillmark::PostToDiscord;
using quillmark::testing::PluginFixture;
using quillmark::testing::WebhookReceiver;

constexpr char kMessage[] =
    "[Demo]\n Player: Rex (000201) \nExecuted: fly\nPosition: X=1.000 Y=2.000 Z=3.000\n";

std::string ExpectedBody(const std::string& title, const std::string& description, int color,
                         const std::string& username) {
  return "{\n\t\t\t\"embeds\": [{\n\t\t\t\t\"title\": \"" + title +
         "\",\n\t\t\t\t\"description\": \"" + description +
         "\",\n\t\t\t\t\"color\": " + std::to_string(color) +
         "\n\t\t\t}],\n\t\t\t\"username\": \"" + username +
         "\",\n\t\t\t\"avatar_url\": null\n\t\t}";
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
  PostToDiscord(kMessage, true);
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
  PostToDiscord("([Demo]\n Player: x", false);
  const auto post = OnlyPost();
  EXPECT_EQ(post.body,
            ExpectedBody(":x: Blocked Command", "([Demo]\\n Player: x", 16711680, "Quillmark"));
  EXPECT_EQ(post.body.substr(post.body.size() - 3), "\t\t}");
  EXPECT_EQ(post.status, 204);
}

TEST_F(DiscordTest, EmptyMessageIsStillPosted) {
  PostToDiscord("", true);
  EXPECT_NE(OnlyPost().body.find("\"description\": \"\","), std::string::npos);
}

TEST_F(DiscordTest, NoWebhookMeansNoRequestAndNoLine) {
  for (const json& config : {json{{"white-list", {"give"}}}, json{{"discordwh", ""}}}) {
    PluginConfig() = config;  // no "messages" either: it is never looked at
    const auto before = sim::GetRequestStats();
    PostToDiscord(kMessage, true);
    EXPECT_EQ(sim::GetRequestStats().handed_over, before.handed_over);
  }
  Settle();
  EXPECT_TRUE(receiver_.Requests().empty());
  EXPECT_TRUE(sink_->Messages().empty());
}

struct PosterCase {
  const char* name;
  json messages;  // null: no "messages" key at all
  const char* poster;
};

class DiscordPosterTest : public DiscordTest, public ::testing::WithParamInterface<PosterCase> {};

TEST_P(DiscordPosterTest, PostsUnderTheConfiguredName) {
  PluginConfig() = json{{"discordwh", receiver_.Url()}};
  if (!GetParam().messages.is_null()) PluginConfig()["messages"] = GetParam().messages;
  PostToDiscord("m", true);
  const auto post = OnlyPost();
  EXPECT_EQ(json::parse(post.body)["username"], GetParam().poster);
  EXPECT_EQ(post.status, 204);
  EXPECT_TRUE(Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, DiscordPosterTest,
    ::testing::Values(
        PosterCase{"sender", json{{"sender", "Audit"}}, "Audit"},
        PosterCase{"no_sender", json::object(), "No message"},
        PosterCase{"no_messages", json(), "No message"},
        PosterCase{"accented_and_astral", json{{"sender", "R\xC3\xA9x \xF0\x9F\xA6\x96"}},
                   "R?x ??"},
        PosterCase{"quote_in_name", json{{"sender", "The \"Audit\""}}, "The \"Audit\""},
        PosterCase{
            "too_long_name", json{{"sender", std::string(100, 'n')}},
            "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DiscordTest, HostileMessageGivesValidJsonShowingTheTextAsTyped) {
  const std::string hostile =
      "[S]\nExecuted: say \"}], \"username\": \"x\", \"content\": \"@everyone\"\\ \t\x01\x1F {}\r";
  PostToDiscord(hostile, false);
  const auto post = OnlyPost();
  const json body = json::parse(post.body);  // throws, failing the test, if invalid
  EXPECT_EQ(body["embeds"][0]["description"], hostile);
  EXPECT_EQ(body["username"], "Quillmark");
  EXPECT_FALSE(body.contains("content"));
  EXPECT_EQ(post.status, 204);
}

TEST_F(DiscordTest, OverlongDescriptionIsCutToWhatDiscordAccepts) {
  PostToDiscord(std::string(10000, 'd'), false);
  const auto post = OnlyPost();
  const std::string description = json::parse(post.body)["embeds"][0]["description"];
  EXPECT_EQ(description, std::string(4095, 'd') + "\xE2\x80\xA6");
  EXPECT_EQ(post.status, 204);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(DiscordTest, DescriptionAtTheLimitIsNotCut) {
  PostToDiscord(std::string(4096, 'd'), true);
  EXPECT_EQ(json::parse(OnlyPost().body)["embeds"][0]["description"], std::string(4096, 'd'));
}

struct FailureCase {
  const char* name;
  WebhookReceiver::Fault fault;
  const char* error_prefix;
};

class DiscordFailureTest : public DiscordTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DiscordFailureTest, FailedPostWritesOneErrorLineWithTheServicesText) {
  receiver_.SetFault(GetParam().fault);
  PostToDiscord(kMessage, true);
  Settle();
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(
      errors[0].rfind(
          std::string("Error sending command to Discord. Error: ") + GetParam().error_prefix, 0),
      0u)
      << errors[0];
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiscordFailureTest,
    ::testing::Values(FailureCase{"server_error", WebhookReceiver::Fault::kServerError,
                                  "500 Internal Server Error"},
                      FailureCase{"closed_connection", WebhookReceiver::Fault::kCloseConnection,
                                  "no response (connection failed or timed out)"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DiscordTest, RefusedPostLogsDiscordsAnswer) {
  PluginConfig()["messages"]["sender"] = "Discord Bot";  // a name Discord forbids
  PostToDiscord(kMessage, true);
  Settle();
  EXPECT_EQ(Errors(),
            std::vector<std::string>{"Error sending command to Discord. Error: 400 Bad Request"});
}

TEST_F(DiscordTest, RateLimitedPostLogsTooManyRequests) {
  for (int i = 0; i < 6; ++i) PostToDiscord(kMessage, true);
  Settle();
  EXPECT_EQ(Errors(), std::vector<std::string>{
                          "Error sending command to Discord. Error: 429 Too Many Requests"});
}

TEST_F(DiscordTest, RefusedConnectionLogsTheTransportError) {
  PluginConfig()["discordwh"] = WebhookReceiver::RefusingUrl();
  PostToDiscord(kMessage, true);
  Settle();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Error sending command to Discord. Error: no "
                                               "response (connection failed or timed out)"});
  // The reason is the framework's to log.
  const auto framework = sink_->FrameworkMessages();
  ASSERT_EQ(framework.size(), 1u);
  EXPECT_EQ(framework[0].rfind("error: HTTP request to '127.0.0.1' failed: ", 0), 0u)
      << framework[0];
}

TEST_F(DiscordTest, ReceiverThatNeverAnswersTimesOut) {
  sim::SetRequestOptions({.max_timeout = std::chrono::milliseconds(1000)});
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  PostToDiscord(kMessage, true);
  Settle();
  EXPECT_EQ(Errors().size(), 1u);
  const auto framework = sink_->FrameworkMessages();
  ASSERT_EQ(framework.size(), 1u);
  EXPECT_NE(framework[0].find("timed out"), std::string::npos) << framework[0];
}

TEST_F(DiscordTest, ReturnsBeforeTheReceiverAnswers) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  PostToDiscord(kMessage, true);
  // Returned, and the post is now held by the receiver: nothing has completed.
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  const auto held = sim::GetRequestStats();
  EXPECT_EQ(held.handed_over - held.sent - held.failed, 1);
  receiver_.ReleaseHeld();
  Settle();
  EXPECT_EQ(sim::GetRequestStats().sent, held.sent + 1);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(DiscordTest, RefusedHandOverIsLogged) {
  sim::SetRequestOptions({.refuse_handover = true});
  PostToDiscord(kMessage, true);
  EXPECT_EQ(Errors(), std::vector<std::string>{"Error sending command to Discord. Error: the "
                                               "request could not be handed over"});
}

struct BadConfigCase {
  const char* name;
  json config;
  const char* detail;
};

class DiscordBadConfigTest : public DiscordTest,
                             public ::testing::WithParamInterface<BadConfigCase> {};

TEST_P(DiscordBadConfigTest, WritesOneErrorLineAndPostsNothing) {
  json config = GetParam().config;
  if (config.is_object() && config.value("discordwh", json()) == "URL") {
    config["discordwh"] = receiver_.Url();
  }
  PluginConfig() = config;
  EXPECT_NO_THROW(PostToDiscord(kMessage, true));
  Settle();
  EXPECT_TRUE(receiver_.Requests().empty());
  const auto errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::string("Discord notification not sent: config.json is not usable for "
                                   "notifications: ") +
                           GetParam().detail);
}

INSTANTIATE_TEST_SUITE_P(
    Configs, DiscordBadConfigTest,
    ::testing::Values(
        BadConfigCase{"webhook_not_text", json{{"discordwh", 42}},
                      "[json.exception.type_error.302] type must be string, but is number"},
        BadConfigCase{"top_level_array", json::array({1}),
                      "[json.exception.type_error.306] cannot use value() with array"},
        BadConfigCase{"messages_not_object", json{{"discordwh", "URL"}, {"messages", "x"}},
                      "\"messages\" must be an object, but is string"},
        BadConfigCase{"sender_not_text",
                      json{{"discordwh", "URL"}, {"messages", {{"sender", false}}}},
                      "[json.exception.type_error.302] type must be string, but is boolean"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
