// What the audit reads from config.json when it is put in force, and each problem found there.
#include "audit/audit_settings.h"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

struct SettingsCase {
  const char* name;
  json config;
  bool audit_rcon;
  const char* blocked_message;
  const char* problem_path;  // null: no problem
  const char* problem;
};

class AuditSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(AuditSettingsTest, ReadsRconAuditAndTheBlockedMessage) {
  const SettingsCase& c = GetParam();
  std::vector<quillmark::ConfigProblem> problems;
  const quillmark::AuditSettings settings = quillmark::ReadAuditSettings(c.config, problems);
  EXPECT_EQ(settings.audit_rcon, c.audit_rcon);
  EXPECT_EQ(settings.blocked_message, c.blocked_message);
  if (c.problem_path == nullptr) {
    EXPECT_TRUE(problems.empty()) << problems[0].message;
  } else {
    EXPECT_EQ(problems, (std::vector<quillmark::ConfigProblem>{{c.problem_path, c.problem}}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Configs, AuditSettingsTest,
    ::testing::Values(
        SettingsCase{"defaults", json::object(), true, "", nullptr, nullptr},
        SettingsCase{"rcon_audit_off", {{"rcon", {{"audit", false}}}}, false, "", nullptr, nullptr},
        SettingsCase{"rcon_without_audit", {{"rcon", json::object()}}, true, "", nullptr, nullptr},
        SettingsCase{"rcon_null", {{"rcon", nullptr}}, true, "", nullptr, nullptr},
        SettingsCase{"rcon_audit_as_text",
                     {{"rcon", {{"audit", "no"}}}},
                     true,
                     "",
                     "/rcon/audit",
                     "config.json: \"rcon\".\"audit\" must be true or false, but is string "
                     "\"no\": RCON commands are audited"},
        SettingsCase{"rcon_not_object",
                     {{"rcon", false}},
                     true,
                     "",
                     "/rcon",
                     "config.json: \"rcon\" must be an object, but is boolean false: RCON "
                     "commands are audited"},
        SettingsCase{"blocked_message",
                     {{"messages", {{"sender", "A"}, {"blocked", "No: {command}"}}}},
                     true,
                     "No: {command}",
                     nullptr,
                     nullptr},
        SettingsCase{"blocked_not_text",
                     {{"messages", {{"blocked", {"x"}}}}},
                     true,
                     "",
                     "/messages/blocked",
                     "config.json: \"messages\".\"blocked\" must be text, but is array "
                     "[\"x\"]: blocked players are not told"},
        SettingsCase{"messages_not_object",
                     {{"messages", 5}},
                     true,
                     "",
                     "/messages",
                     "config.json: \"messages\" must be an object, but is number: blocked "
                     "players are not told"},
        SettingsCase{"top_level_array", json::array({1}), true, "", nullptr, nullptr}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
