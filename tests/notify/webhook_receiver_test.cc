// The Discord stand-in itself: it must refuse what Discord refuses and limit as Discord limits,
// or the notifier's tests would pass against a receiver that accepts anything.
#include "tools/webhook_receiver.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

namespace {

using nlohmann::json;
using quillmark::tools::JudgeWebhookBody;

json Embed(const std::string& description) {
  return json{{"embeds", {{{"title", "t"}, {"description", description}, {"color", 65280}}}},
              {"username", "Audit"}};
}

struct JudgeCase {
  const char* name;
  std::string body;
  std::string content_type;
  int status;
  int code;  // Discord's error code in the body, 0 for success
};

class WebhookRulesTest : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(WebhookRulesTest, AnswersAsDiscordDoes) {
  const auto verdict = JudgeWebhookBody(GetParam().body, GetParam().content_type);
  EXPECT_EQ(verdict.status, GetParam().status);
  if (GetParam().code != 0) {
    EXPECT_EQ(json::parse(verdict.error_body)["code"], GetParam().code) << verdict.error_body;
  } else {
    EXPECT_TRUE(verdict.error_body.empty());
  }
}

json With(json post, const std::string& key, json value) {
  post[key] = std::move(value);
  return post;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, WebhookRulesTest,
    ::testing::Values(
        JudgeCase{"valid", Embed("d").dump(), "application/json", 204, 0},
        JudgeCase{"description_at_limit", Embed(std::string(4096, 'x')).dump(), "application/json",
                  204, 0},
        JudgeCase{"description_over_limit", Embed(std::string(4097, 'x')).dump(),
                  "application/json", 400, 50035},
        JudgeCase{"limit_counts_characters", Embed(std::string(4000, 'x') + "\xC3\xA9").dump(),
                  "application/json", 204, 0},
        JudgeCase{"invalid_json", "{\"embeds\": [", "application/json", 400, 50109},
        JudgeCase{"no_embed_or_content", json{{"username", "a"}}.dump(), "application/json", 400,
                  50006},
        JudgeCase{"not_json_content_type", Embed("d").dump(), "text/plain", 400, 50006},
        JudgeCase{"username_too_long", With(Embed("d"), "username", std::string(81, 'u')).dump(),
                  "application/json", 400, 50035},
        JudgeCase{"username_empty", With(Embed("d"), "username", "").dump(), "application/json",
                  400, 50035},
        JudgeCase{"username_clyde", With(Embed("d"), "username", "MyClyde").dump(),
                  "application/json", 400, 50035},
        JudgeCase{"color_out_of_range",
                  json{{"embeds", {{{"title", "t"}, {"color", 16777216}}}}}.dump(),
                  "application/json", 400, 50035},
        JudgeCase{"content_only", json{{"content", "hi"}}.dump(), "application/json", 204, 0},
        JudgeCase{"content_over_limit", json{{"content", std::string(2001, 'c')}}.dump(),
                  "application/json", 400, 50035},
        JudgeCase{"mentions_named",
                  With(Embed("d"), "allowed_mentions",
                       json::parse(R"({"parse": [], "roles": ["1"], "users": ["2"]})"))
                      .dump(),
                  "application/json", 204, 0},
        JudgeCase{
            "parse_unknown_kind",
            With(Embed("d"), "allowed_mentions", json::parse(R"({"parse": ["here"]})")).dump(),
            "application/json", 400, 50035},
        JudgeCase{"parse_users_and_users_list",
                  With(Embed("d"), "allowed_mentions",
                       json::parse(R"({"parse": ["users"], "users": []})"))
                      .dump(),
                  "application/json", 400, 50035},
        JudgeCase{"parse_roles_and_roles_list",
                  With(Embed("d"), "allowed_mentions",
                       json::parse(R"({"parse": ["roles"], "roles": ["1"]})"))
                      .dump(),
                  "application/json", 400, 50035},
        JudgeCase{"id_not_a_snowflake",
                  With(Embed("d"), "allowed_mentions",
                       json::parse(R"({"roles": ["18446744073709551616"]})"))
                      .dump(),
                  "application/json", 400, 50035},
        JudgeCase{"more_than_100_ids",
                  With(Embed("d"), "allowed_mentions",
                       json{{"users", std::vector<std::string>(101, "1")}})
                      .dump(),
                  "application/json", 400, 50035}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Whom a post pings: the mentions of its content that allowed_mentions allows, every one when
// it has none; never those of an embed.
TEST(WebhookPingsTest, OnlyTheContentsAllowedMentionsPing) {
  const std::string content = "<@&1> <@2> <@!3> @everyone <@&1> <@x>";
  const struct {
    json allowed;
    std::vector<std::string> pings;
  } cases[] = {
      {json(), {"role 1", "user 2", "user 3", "everyone"}},
      {json::parse(R"({"parse": []})"), {}},
      {json::parse(R"({"parse": [], "roles": ["1"], "users": ["3"]})"), {"role 1", "user 3"}},
      {json::parse(R"({"parse": ["users", "everyone"]})"), {"user 2", "user 3", "everyone"}},
  };
  for (const auto& c : cases) {
    json post = With(Embed("<@&9> @everyone"), "content", content);
    if (!c.allowed.is_null()) post["allowed_mentions"] = c.allowed;
    EXPECT_EQ(quillmark::tools::WebhookPings(post.dump()), c.pings) << post.dump();
  }
  EXPECT_TRUE(quillmark::tools::WebhookPings(Embed("<@&9> @everyone").dump()).empty());
  const json post = json::parse(R"({"content": "<@&1>", "embeds": [{"title": "t"}],
      "username": "A", "allowed_mentions": {"parse": [], "roles": ["1"]}})");
  EXPECT_EQ(quillmark::tools::DescribeWebhookPost(post.dump()),
            "[discord] A | t | colour #000000\n[discord] pings role 1\n");
}

// Each line as Discord shows it: an escaped character alone, markdown left as written counted.
TEST(WebhookDescriptionTest, ShowsPosterTitleColourAndEachLine) {
  const std::string shown =
      quillmark::tools::DescribeWebhookPost(Embed("line \\*one\\*\nline \\\\two").dump());
  EXPECT_EQ(shown,
            "[discord] Audit | t | colour #00FF00\n[discord]   line *one*\n[discord]   line "
            "\\two\n");
  std::size_t unescaped = 0;
  EXPECT_EQ(quillmark::tools::RenderedMarkdown("\\[a\\](b) \\q", &unescaped), "[a](b) \\q");
  EXPECT_EQ(unescaped, 3u);  // "(", ")" and the lone backslash
}

using quillmark::tools::WebhookReceiver;

struct Answer {
  int status = 0;
  std::string scope;
  std::string retry_after;
  std::string remaining;
  bool global = false;
  int code = 0;
};

Answer Post(const WebhookReceiver& receiver, const std::string& id, int command = 1) {
  httplib::Client client("127.0.0.1", receiver.Port());
  const auto result =
      client.Post("/api/webhooks/" + id + "/t",
                  Embed("Executed: say " + std::to_string(command)).dump(), "application/json");
  if (!result) return {};
  Answer answer{result->status, result->get_header_value("X-RateLimit-Scope"),
                result->get_header_value("Retry-After"),
                result->get_header_value("X-RateLimit-Remaining"),
                result->get_header_value("X-RateLimit-Global") == "true"};
  const json body = json::parse(result->body, nullptr, false);
  if (body.is_object()) answer.code = body.value("code", 0);
  return answer;
}

TEST(WebhookLimitsTest, AWebhooksBucketHoldsFivePerTwoSeconds) {
  WebhookReceiver receiver;
  for (int n = 1; n <= 5; ++n) {
    const Answer answer = Post(receiver, "1", n);
    EXPECT_EQ(answer.status, 204);
    EXPECT_EQ(answer.remaining, std::to_string(5 - n));
  }
  const Answer limited = Post(receiver, "1", 6);
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.scope, "user");
  EXPECT_FALSE(limited.global);
  EXPECT_TRUE(limited.retry_after == "1" || limited.retry_after == "2") << limited.retry_after;
  EXPECT_EQ(Post(receiver, "2").status, 204);  // another webhook has its own bucket
  EXPECT_EQ(receiver.GetSummary().limited_user, 1u);
}

TEST(WebhookLimitsTest, AChannelsLimitIsSharedAndWaitsLong) {
  WebhookReceiver::Options options;
  options.channel_limit = 3;
  options.channels = {{"1", "c"}, {"2", "c"}};
  options.time_scale = 10;  // a 40 s wait becomes 4 s
  WebhookReceiver receiver(options);
  EXPECT_EQ(Post(receiver, "1").status, 204);
  EXPECT_EQ(Post(receiver, "2").status, 204);
  EXPECT_EQ(Post(receiver, "1").status, 204);
  const Answer limited = Post(receiver, "2");
  EXPECT_EQ(limited.status, 429);
  EXPECT_EQ(limited.scope, "shared");
  EXPECT_EQ(limited.retry_after, "4.000");
  EXPECT_EQ(limited.remaining, "4");           // the webhook's own bucket still shows room
  EXPECT_EQ(Post(receiver, "3").status, 204);  // a webhook of another channel
}

TEST(WebhookLimitsTest, GlobalLimitAndScaledWindows) {
  WebhookReceiver::Options options;
  options.global_limit = 3;
  // Windows of 0.5 s (the bucket) and 0.25 s (global): wide enough that four posts fall in one
  // global window on a loaded machine, under a sanitizer.
  options.time_scale = 4;
  WebhookReceiver receiver(options);
  for (const char* id : {"1", "2", "3"}) EXPECT_EQ(Post(receiver, id).status, 204);
  const Answer limited = Post(receiver, "4");
  EXPECT_EQ(limited.status, 429);
  EXPECT_TRUE(limited.global);
  EXPECT_EQ(limited.scope, "global");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(Post(receiver, "4").status, 204);
}

TEST(WebhookLimitsTest, FaultsForASpanUnknownWebhooksAndTheOrder) {
  WebhookReceiver receiver;
  receiver.SetFault(WebhookReceiver::Fault::kServerError, std::chrono::milliseconds(300));
  EXPECT_EQ(Post(receiver, "1", 1).status, 500);
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_EQ(Post(receiver, "1", 2).status, 204);
  EXPECT_EQ(Post(receiver, "1", 1).status, 204);  // behind 2: out of order
  EXPECT_EQ(Post(receiver, "1", 2).status, 204);  // a second time
  receiver.DeleteWebhook("9");
  const Answer gone = Post(receiver, "9");
  EXPECT_EQ(gone.status, 404);
  EXPECT_EQ(gone.code, 10015);
  const auto summary = receiver.GetSummary();
  EXPECT_EQ(summary.messages, 3u);
  ASSERT_EQ(summary.webhooks.size(), 1u);
  EXPECT_EQ(summary.webhooks[0].out_of_order, 1u);
  EXPECT_EQ(summary.webhooks[0].repeated, 1u);
  EXPECT_NE(summary.Text().find("webhook 1: 3 numbered embeds, NOT in order"), std::string::npos)
      << summary.Text();
}

}  // namespace
