// The Discord stand-in itself: it must refuse what Discord refuses, or the notifier's tests
// would pass against a receiver that accepts anything.
#include "support/webhook_receiver.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;
using quillmark::testing::JudgeWebhookBody;

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
        JudgeCase{"content_only", json{{"content", "hi"}}.dump(), "application/json", 204, 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(WebhookDescriptionTest, ShowsPosterTitleColourAndEachLine) {
  const std::string shown =
      quillmark::testing::DescribeWebhookPost(Embed("line one\nline two").dump());
  EXPECT_EQ(shown,
            "[discord] Audit | t | colour #00FF00\n[discord]   line one\n[discord]   line two\n");
}

}  // namespace
