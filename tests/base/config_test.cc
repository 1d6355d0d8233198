// Reading config.json: where it is looked for, what is accepted, and the exact errors the
// plugin logs for a file it cannot use; and the messages of the lookups' type errors, which
// reach the log through the handler's and notifier's error lines.
#include "base/config.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/server_folder.h"

namespace {

using nlohmann::json;
using quillmark::LoadConfig;
using quillmark::PluginConfig;
using quillmark::testing::ServerFolder;

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { PluginConfig() = nullptr; }
  ServerFolder folder_;
};

TEST_F(ConfigTest, PathIsTheServerFolderFollowedByThePluginFolder) {
  EXPECT_EQ(quillmark::ConfigPath(),
            folder_.Root().generic_string() + "/ArkApi/Plugins/quillmark/config.json");
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  LoadConfig();
  EXPECT_EQ(PluginConfig()["white-list"][0], "give");
}

TEST_F(ConfigTest, MissingFileRaisesTheRuntimeError) {
  folder_.RemoveConfig();
  try {
    LoadConfig();
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Can't open config.json");
  }
  EXPECT_TRUE(PluginConfig().is_null());
}

TEST_F(ConfigTest, ByteOrderMarkIsSkippedAndTrailingTextIgnored) {
  folder_.WriteConfig("\xEF\xBB\xBF{\"discordwh\": \"x\"}");
  LoadConfig();
  EXPECT_EQ(PluginConfig()["discordwh"], "x");
  folder_.WriteConfig("{\"a\": 1} this is not json {");
  LoadConfig();
  EXPECT_EQ(PluginConfig(), json({{"a", 1}}));
}

TEST_F(ConfigTest, RepeatedKeyKeepsTheLastValue) {
  folder_.WriteConfig(R"({"a": 1, "a": 2})");
  LoadConfig();
  EXPECT_EQ(PluginConfig()["a"], 2);
}

struct BadFile {
  const char* name;
  const char* bytes;
};

class UnusableConfigTest : public ConfigTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(UnusableConfigTest, RaisesTheParseErrorAndKeepsTheDocument) {
  PluginConfig() = json{{"kept", true}};
  folder_.WriteConfig(GetParam().bytes);
  try {
    LoadConfig();
    FAIL() << "no error";
  } catch (const json::parse_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("[json.exception.parse_error.", 0), 0u) << e.what();
  }
  EXPECT_EQ(PluginConfig(), json({{"kept", true}}));
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableConfigTest,
                         ::testing::Values(BadFile{"empty", ""},
                                           BadFile{"line_comment", "// c\n{}"},
                                           BadFile{"block_comment", "{/* c */}"},
                                           BadFile{"incomplete_bom", "\xEF\xBB{}"},
                                           BadFile{"truncated", "{\"a\": [1, 2"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The texts that the plugin's error lines carry when a key has the wrong type.
struct TypeErrorCase {
  const char* name;
  json document;
  std::function<void(json&)> lookup;
  const char* message;
};

class LookupTypeErrorTest : public ::testing::TestWithParam<TypeErrorCase> {};

TEST_P(LookupTypeErrorTest, CarriesTheLibrarysMessage) {
  json document = GetParam().document;
  try {
    GetParam().lookup(document);
    FAIL() << "no error";
  } catch (const json::type_error& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LookupTypeErrorTest,
    ::testing::Values(
        TypeErrorCase{"allowed_command_not_text", json{{"allowed-commands", {1}}},
                      [](json& d) { (void)d["allowed-commands"][0].get<std::string>(); },
                      "[json.exception.type_error.302] type must be string, but is number"},
        TypeErrorCase{"white_list_element_not_text", json{{"white-list", {nullptr}}},
                      [](json& d) { (void)d["white-list"][0].get<std::string>(); },
                      "[json.exception.type_error.302] type must be string, but is null"},
        TypeErrorCase{"discordwh_not_text", json{{"discordwh", 5}},
                      [](json& d) { (void)d.value("discordwh", ""); },
                      "[json.exception.type_error.302] type must be string, but is number"},
        TypeErrorCase{"sender_not_text", json{{"sender", {1, 2}}},
                      [](json& d) { (void)d.value("sender", "No message"); },
                      "[json.exception.type_error.302] type must be string, but is array"},
        TypeErrorCase{"top_level_array", json::array(),
                      [](json& d) { (void)d.value("discordwh", ""); },
                      "[json.exception.type_error.306] cannot use value() with array"},
        TypeErrorCase{"messages_not_object", json("text"), [](json& d) { (void)d["messages"]; },
                      "[json.exception.type_error.305] cannot use operator[] with a string "
                      "argument with string"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
