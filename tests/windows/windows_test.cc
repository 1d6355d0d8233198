// What only Windows has: the plugin DLL to deploy, loaded and unloaded by the Windows loader
// with its real DllMain and the framework's entry points through the framework stand-in, the
// server label taken from a real Windows command line, audit lines ending in CR LF, and the
// RCON listener over Winsock.
#include <winsock2.h>
// After Winsock 2: windows.h would otherwise bring in the first Winsock.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "plugin/command_handler.h"
#include "support/process.h"
#include "support/server_folder.h"

namespace {

using quillmark::testing::RunProcess;
using quillmark::testing::ServerFolder;

const std::string kPlugin = QUILLMARK_BIN_DIR_UTF8 "\\quillmark.dll";

// The framework stand-in, started as the server starts it: from then on the server's log is
// its own (the framework's logging library, which the plugin writes with).
void StartFramework() {
  static const bool started = [] {
    HMODULE framework = LoadLibraryW(L"AsaApi.dll");
    const auto init = reinterpret_cast<void (*)()>(
        framework != nullptr ? GetProcAddress(framework, "InitApi") : nullptr);
    if (init != nullptr) init();
    return init != nullptr;
  }();
  ASSERT_TRUE(started);
}

class PluginDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartFramework();
    log_ = folder_.Root() / "server.log";
    sim::UseConsoleLogSink();
    sim::AddLogFile(log_.string());
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
  // The plugin's lines in the server's log file, as "<level>: <text>".
  std::vector<std::string> Messages() const {
    std::ifstream file(log_, std::ios::binary);
    std::vector<std::string> messages;
    const std::string tag = "[ASA:Quillmark][";
    for (std::string line; std::getline(file, line);) {
      const auto at = line.find(tag);
      const auto level_end = line.find("] ", at);
      if (at == std::string::npos || level_end == std::string::npos) continue;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      messages.push_back(line.substr(at + tag.size(), level_end - at - tag.size()) + ": " +
                         line.substr(level_end + 2));
    }
    return messages;
  }

  ServerFolder folder_;
  std::filesystem::path log_;
};

TEST_F(PluginDllTest, TheWindowsLoaderAndTheFrameworksEntryPoints) {
  folder_.WriteConfig(R"({"white-list": ["give"]})");
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 1);
  // Thread attach and detach notifications arrive with every thread; they change nothing.
  std::thread([] {}).join();
  EXPECT_EQ(Hooks(), 1);
  EXPECT_TRUE(Messages().empty());
  ASSERT_TRUE(sim::UnloadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 0);
  // Unloaded from outside the plugin's code, nothing keeps the library: the framework's reload
  // copies the new file over it right away, which Windows refuses while the image is mapped.
  EXPECT_FALSE(Mapped());
}

TEST_F(PluginDllTest, FailedStartUpLogsItsLinesAndLeavesTheDllLoadedAndInert) {
  folder_.RemoveConfig();
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  EXPECT_EQ(Hooks(), 0);
  const auto messages = Messages();
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

// A Source RCON exchange over Winsock with the simulated server's listener, whose packets the
// game thread (this one) handles during its frames.
class RconOverWinsockTest : public ::testing::Test {
 protected:
  static std::string Packet(std::int32_t id, std::int32_t type, const std::string& body) {
    std::string bytes;
    for (const std::int32_t value : {static_cast<std::int32_t>(body.size() + 10), id, type}) {
      for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF));
      }
    }
    return bytes + body + std::string(2, '\0');
  }
  // One packet read whole: its id and body; an empty optional when the server closed.
  static std::optional<std::pair<std::int32_t, std::string>> Read(SOCKET client) {
    std::string bytes;
    char chunk[4096];
    const auto whole = [&bytes] {
      std::int32_t size = 0;
      std::memcpy(&size, bytes.data(), 4);
      return bytes.size() >= 4 + static_cast<std::size_t>(size);
    };
    while (bytes.size() < 4 || !whole()) {
      const int got = recv(client, chunk, sizeof chunk, 0);
      if (got <= 0) return std::nullopt;
      bytes.append(chunk, static_cast<std::size_t>(got));
    }
    std::int32_t id = 0;
    std::memcpy(&id, bytes.data() + 4, 4);
    return std::pair{id, bytes.substr(12, bytes.size() - 14)};
  }
};

TEST_F(RconOverWinsockTest, AuthenticatesAnswersAndClosesAnOversizedClient) {
  sim::StartWorld("TheIsland_WP");
  sim::SetServerAdminPassword("pw");
  const int port = sim::StartRconListener(0);
  ASSERT_GT(port, 0);
  std::atomic<bool> done = false;
  std::vector<std::string> seen;
  std::thread client_thread([&] {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      for (const auto& [type, body] :
           {std::pair{3, std::string("pw")}, std::pair{2, std::string("ListPlayers")},
            std::pair{2, std::string(5000, 'x')}}) {
        const std::string bytes = Packet(7, type, body);
        send(client, bytes.data(), static_cast<int>(bytes.size()), 0);
        const auto answer = Read(client);
        seen.push_back(answer ? std::to_string(answer->first) + " " + answer->second : "closed");
      }
    }
    closesocket(client);
    done = true;
  });
  const bool finished =
      sim::RunFramesUntil([&done] { return done.load(); }, std::chrono::seconds(20));
  client_thread.join();
  EXPECT_TRUE(finished);
  EXPECT_EQ(seen,
            (std::vector<std::string>{"7 ", "7 Server received, But no response!! ", "closed"}));
  const auto notes = sim::TakeRconNotes();
  EXPECT_NE(std::find_if(notes.begin(), notes.end(),
                         [](const std::string& note) {
                           return note.find("closed: it sent a packet of size 5010") !=
                                  std::string::npos;
                         }),
            notes.end());
  sim::StopWorld();
}

}  // namespace
