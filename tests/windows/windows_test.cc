// What only Windows has: the plugin DLL loaded and unloaded by the Windows loader with its real
// DllMain and the framework's entry points, the server label taken from a real Windows command
// line, and audit lines ending in CR LF.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "plugin/command_handler.h"
#include "support/process.h"
#include "support/recording_sink.h"
#include "support/server_folder.h"

namespace {

using quillmark::testing::RecordingSink;
using quillmark::testing::RunProcess;
using quillmark::testing::ServerFolder;

const std::string kPlugin = QUILLMARK_BIN_DIR_UTF8 "\\quillmark.dll";

class PluginDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetLogSinks({sink_});
    sim::SetPluginLibrary("quillmark", kPlugin);
  }
  void TearDown() override {
    if (sim::IsPluginLoaded("quillmark")) {
      EXPECT_TRUE(sim::UnloadPlugin("quillmark"));
    }
    sim::UseConsoleLogSink();
  }
  static int Hooks() { return sim::HookCount(quillmark::kConsoleCommandHook); }
  static bool Mapped() { return GetModuleHandleW(L"quillmark.dll") != nullptr; }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  ServerFolder folder_;
};

TEST_F(PluginDllTest, TheWindowsLoaderAndTheFrameworksEntryPoints) {
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 1);
  // Thread attach and detach notifications arrive with every thread; they change nothing.
  std::thread([] {}).join();
  EXPECT_EQ(Hooks(), 1);
  EXPECT_TRUE(sink_->Messages().empty());
  ASSERT_TRUE(sim::UnloadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 0);
  // The library keeps itself loaded a few seconds past the unload (the framework may still be
  // running code of it), then the thread pool really unloads it.
  EXPECT_TRUE(Mapped());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (Mapped() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(Mapped());
}

TEST_F(PluginDllTest, FailedStartUpLogsItsLinesAndLeavesTheDllLoadedAndInert) {
  folder_.RemoveConfig();
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 0);
  const auto messages = sink_->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "error: Can't open config.json");
  EXPECT_EQ(messages[1].rfind("error: Console commands reach the game unpoliced", 0), 0u);
  // Fixed, the file starts the plugin on a reload over RCON, and after an unload and a load.
  folder_.WriteConfig("{}");
  (void)sim::RunRconCommand(L"quillmark.reload");
  EXPECT_EQ(Hooks(), 1);
  ASSERT_TRUE(sim::UnloadPlugin("quillmark"));
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 1);
}

// The stand-in server, started with a real Windows command line, labels the server with what
// CommandLineToArgvW made of it.
class RealCommandLineTest : public ::testing::Test {
 protected:
  std::string LabelFor(const std::vector<std::string>& server_options) {
    folder_.WriteConfig(R"({"white-list": ["give"]})");
    const auto script = folder_.Root() / "play.txt";
    std::ofstream(script) << "join rex eos=E1\ncmd rex give\n";
    const auto log = folder_.Root() / "server.log";
    std::vector<std::string> args = {"--server-dir", folder_.Root().string(),
                                     "--script",     script.string(),
                                     "--log",        log.string()};
    args.insert(args.end(), server_options.begin(), server_options.end());
    const auto result = RunProcess(QUILLMARK_SIM, args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::ifstream file(log, std::ios::binary);
    logged_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const auto at = logged_.find(" on ");
    const auto end = logged_.find("\r\n", at);
    return at == std::string::npos ? "(no line)" : logged_.substr(at + 4, end - at - 4);
  }
  ServerFolder folder_;
  std::string logged_;
};

TEST_F(RealCommandLineTest, QuotedValueWithASpace) {
  EXPECT_EQ(LabelFor({"-serverkey=My Server"}), "My Server");
}

TEST_F(RealCommandLineTest, BackslashesAndQuotes) {
  EXPECT_EQ(LabelFor({"-serverkey=a\\\"b"}), "a\\\"b");
  EXPECT_EQ(LabelFor({"-serverkey=C:\\Servers\\"}), "C:\\Servers\\");
}

TEST_F(RealCommandLineTest, FirstOfTwoWinsInAnyLetterCase) {
  EXPECT_EQ(LabelFor({"-SERVERKEY=One", "-serverkey=Two"}), "One");
}

TEST_F(RealCommandLineTest, WithoutTheOptionTheMapLabelsTheServer) {
  EXPECT_EQ(LabelFor({"x-serverkey=abc", "--map", "Ragnarok_WP"}), "Ragnarok_WP");
}

TEST_F(RealCommandLineTest, AuditLinesEndInCrLf) {
  (void)LabelFor({"-serverkey=Alpha"});
  ASSERT_GE(logged_.size(), 2u);
  EXPECT_EQ(logged_.substr(logged_.size() - 2), "\r\n");
  EXPECT_EQ(logged_.find('\n'), logged_.find("\r\n") + 1);  // no bare LF before it
}

}  // namespace
