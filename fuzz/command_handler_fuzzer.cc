// The command handler in front of the simulated game, on generated configurations, players and
// commands: chained parts, quotes, comments, control characters, non-ASCII text, lone
// surrogates and long texts. For every command: exactly one audit line, saying what was decided;
// the game runs the command whole or runs nothing; every part the game runs is allowed by the
// rules, judged here by a plain reading of them written apart from the plugin's index; a command
// whose every part is allowed is not blocked; a blocked player is told once, on one line, when
// the configuration says what to tell; every block the engine's allocator gave out is given
// back; no exception reaches the game.
#include <fuzzer/FuzzedDataProvider.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audit/audit_text.h"
#include "audit/server_label.h"
#include "base/logger.h"
#include "fuzz_check.h"
#include "host/libraries.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "sim/sim_control.h"
#include "support/config_generator.h"

namespace {

using nlohmann::json;

using quillmark::testing::kIds;
using quillmark::testing::kWords;

constexpr std::array<const char*, 6> kNames = {"Rex",
                                               "\xD0\x97\xD0\xBE\xD1\x8F",
                                               "\xE6\x9D\x8E\xE9\x9B\xB7",
                                               "a\nb",
                                               "\xE2\x80\xAE"
                                               "evil",
                                               "{}"};

// The generator's choices taken from the input; the texts it makes up are ASCII without NUL,
// the host's texts being C strings.
struct InputChoices {
  FuzzedDataProvider* in;
  std::size_t Below(std::size_t n) { return in->ConsumeIntegralInRange<std::size_t>(0, n - 1); }
  std::string MadeUp() {
    std::string text;
    for (const char c : in->ConsumeRandomLengthString(12)) {
      if ((c & 0x7F) != 0) text += static_cast<char>(c & 0x7F);
    }
    return text;
  }
};
using Generator = quillmark::testing::BasicConfigGenerator<InputChoices>;

json Config(Generator& generate) {
  json config = generate.Config();
  // Notifications are made and handed over; the host takes no request, so none leaves.
  if (generate.OneIn(2)) config["discordwh"] = "https://discord.com/api/webhooks/1/token";
  if (generate.OneIn(2)) config["messages"] = {{"blocked", "Refused: {command}"}};
  return config;
}

// A console line from pieces: words, separators, quotes, comments, blanks, non-ASCII text,
// surrogates alone and in pairs, and long runs.
HostText Command(FuzzedDataProvider& in, Generator& generate) {
  HostText line;
  const std::size_t pieces = in.ConsumeIntegralInRange<std::size_t>(0, 10);
  for (std::size_t i = 0; i < pieces; ++i) {
    switch (in.ConsumeIntegralInRange(0, 13)) {
      case 0:
      case 1:
      case 2: {
        line += AsaApi::Tools::Utf8Decode(generate.Pick(kWords));
        break;
      }
      case 3:
        line += HOST_TEXT(" ");
        break;
      case 4:
        line += HOST_TEXT("|");
        break;
      case 5:
        line += in.ConsumeBool() ? HOST_TEXT("\n") : HOST_TEXT("\r");
        break;
      case 6:
        line += HOST_TEXT("\"");
        break;
      case 7:
        line += HOST_TEXT("//");
        break;
      case 8:
        line += HOST_TEXT("\t");
        break;
      case 9:
        line += HOST_TEXT("\u043F\u0440\u0438\u0432\u0435\u0442 \U0001F600");
        break;
      case 10:
        line.push_back(static_cast<HostChar>(in.ConsumeIntegralInRange(0xD800, 0xDFFF)));
        break;
      case 11:
        line.append(in.ConsumeIntegralInRange<std::size_t>(1, 3000), HOST_TEXT('a'));
        break;
      // Any unit but NUL: the console's text is a C string, which ends at the first.
      case 12:
        line.push_back(static_cast<HostChar>(in.ConsumeIntegralInRange(1, 0x1F)));
        break;
      default:
        line.push_back(static_cast<HostChar>(in.ConsumeIntegralInRange(1, 0xFFFF)));
        break;
    }
  }
  return line;
}

// ----- The rules, read plainly ---------------------------------------------------------------

// A value walked as the JSON library walks it: an array by element, an object by member value,
// null as nothing, anything else as itself.
std::vector<const json*> Items(const json& value) {
  std::vector<const json*> items;
  if (value.is_array() || value.is_object()) {
    for (const json& item : value) items.push_back(&item);
  } else if (!value.is_null()) {
    items.push_back(&value);
  }
  return items;
}

// The word a part is decided by: its first piece between spaces, as UTF-8, its ASCII letters
// lower-cased.
std::string Word(const HostText& part) {
  const std::size_t start = part.find_first_not_of(HOST_TEXT(' '));
  if (start == HostText::npos) return "";
  return quillmark::Lower(sim::Utf8(part.substr(start, part.find(HOST_TEXT(' '), start) - start)));
}

bool WhiteListed(const json& config, const std::string& word) {
  if (!config.contains("white-list") || !config["white-list"].is_array()) return false;
  for (const json& entry : config["white-list"]) {
    if (!entry.is_string()) continue;
    const std::string prefix = quillmark::Lower(entry.get<std::string>());
    if (!prefix.empty() && word.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Whether an entry naming `eos_id` grants `word`; the search stops, granting nothing, at the
// first entry that is not text.
bool Granted(const json& config, const std::string& eos_id, const std::string& word) {
  if (!config.contains("admins")) return false;
  for (const json* entry : Items(config["admins"])) {
    if (!entry->is_object() || !entry->contains("eosid") || !(*entry)["eosid"].is_array()) continue;
    bool named = false;
    for (const json& id : (*entry)["eosid"]) named = named || (id.is_string() && id == eos_id);
    if (!named || !entry->contains("allowed-commands")) continue;
    for (const json* grant : Items((*entry)["allowed-commands"])) {
      if (!grant->is_string()) return false;
      const std::string text = grant->get<std::string>();
      if (text == "*" || quillmark::Lower(text) == word) return true;
    }
  }
  return false;
}

bool Allowed(const json& config, const std::string& eos_id, bool admin, const HostText& part) {
  const std::string word = Word(part);
  return WhiteListed(config, word) || (admin && Granted(config, eos_id, word));
}

// The code units of `text`, for a failure's report.
std::string Units(const HostText& text) {
  std::string out;
  for (const HostChar c : text) out += fmt::format("{:04X} ", static_cast<unsigned>(c));
  return out;
}

bool Blank(const HostText& part) {
  return part.find_first_not_of(HOST_TEXT(" \t")) == HostText::npos;
}

// ----- The host ----------------------------------------------------------------------------

// Keeps the plugin's messages ("info: ..." and "error: ...") until they are taken; the
// framework's own are dropped.
class Sink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(messages_, {});
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    if (std::string_view(message.logger_name.data(), message.logger_name.size()) == "API") return;
    const auto level = spdlog::level::to_string_view(message.level);
    messages_.push_back(std::string(level.data(), level.size()) + ": " +
                        std::string(message.payload.data(), message.payload.size()));
  }
  void flush_() override {}

 private:
  std::vector<std::string> messages_;
};

struct Host {
  std::shared_ptr<Sink> sink = std::make_shared<Sink>();
};

Host& TheHost() {
  static Host* host = [] {
    auto* made = new Host();
    sim::SetLogSinks({made->sink});
    quillmark::CreatePluginLogger();
    sim::StartWorld("Fuzz");
    (void)quillmark::GetServerLabel();
    sim::RequestOptions requests;
    requests.refuse_handover = true;
    sim::SetRequestOptions(requests);
    quillmark::StartNotifier({});
    if (!AsaApi::GetHooks().InstallHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler,
                                        &quillmark::SavedConsoleCommand)) {
      std::abort();
    }
    return made;
  }();
  return *host;
}

struct Player {
  AShooterPlayerController* controller;
  std::string eos_id;
  bool admin;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Host& host = TheHost();
  FuzzedDataProvider in(data, size);
  Generator generate(InputChoices{&in});
  const json config = Config(generate);
  quillmark::UseConfiguration(config);

  std::vector<Player> players;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(1, 3);
  for (std::size_t i = 0; i < count; ++i) {
    sim::PlayerSetup setup;
    setup.eos_id = generate.Pick(kIds);
    setup.character_name = generate.Pick(kNames);
    setup.admin = in.ConsumeBool();
    setup.has_root_component = in.ConsumeIntegralInRange(0, 7) != 0;
    setup.x = in.ConsumeFloatingPoint<double>();
    players.push_back({sim::AddPlayer(setup), setup.eos_id, setup.admin});
  }

  while (in.remaining_bytes() > 0) {
    Player& player = players[in.ConsumeIntegralInRange<std::size_t>(0, players.size() - 1)];
    if (in.ConsumeIntegralInRange(0, 5) == 0) {
      player.admin = !player.admin;
      sim::SetAdmin(player.controller, player.admin);
    }
    const HostText command = Command(in, generate);

    // Every part the console will run must pass. A line it cannot split is decided as a whole
    // as well; one of separators, blanks and comments alone is the empty command.
    const bool whole = command.find_first_of(HOST_TEXT("|\r\n")) == HostText::npos;
    bool expected = !whole || Allowed(config, player.eos_id, player.admin, command);
    std::size_t ran = 0;
    for (const HostText& part : sim::ConsoleParts(command)) {
      if (Blank(part)) continue;
      ++ran;
      expected = expected && Allowed(config, player.eos_id, player.admin, part);
    }
    if (!whole && ran == 0) expected = Allowed(config, player.eos_id, player.admin, HostText());

    (void)host.sink->Take();
    const std::int64_t live = sim::GetAllocatorStats().live_blocks;
    try {
      (void)sim::RunConsoleCommand(player.controller, command);
    } catch (...) {
      FUZZ_CHECK(false, "an exception reached the game");
    }
    FUZZ_CHECK(sim::GetAllocatorStats().live_blocks == live, "engine blocks not given back");

    const std::vector<sim::ReceivedCommand> received = sim::TakeReceivedCommands();
    FUZZ_CHECK(received.size() == 1 && received[0].write_to_log, "the game's function");
    std::size_t audit_lines = 0;
    bool passed = false;
    for (const std::string& message : host.sink->Take()) {
      FUZZ_CHECK(message.find_first_of("\r\n") == std::string::npos, message);
      if (message.rfind("info: Player ", 0) == 0) {
        ++audit_lines;
        passed = true;
      } else if (message.rfind("info: Blocked player ", 0) == 0) {
        ++audit_lines;
      } else {
        // Error lines may come with a command (a broken grant, a webhook the host will not
        // post to); one saying the handler failed may not.
        FUZZ_CHECK(message.rfind("error: Blocked", 0) != 0, message);
      }
    }
    FUZZ_CHECK(audit_lines == 1, sim::Utf8(command));
    FUZZ_CHECK(passed == expected, (passed ? "let through: " : "blocked: ") + Units(command) +
                                       "\n  config: " + config.dump() + "\n  player: " +
                                       player.eos_id + (player.admin ? " (admin)" : ""));
    const std::vector<sim::ServerMessage> told = sim::TakeServerMessages();
    FUZZ_CHECK(told.size() == (!passed && config.contains("messages") ? 1U : 0U),
               "told " + std::to_string(told.size()) + " times: " + sim::Utf8(command));
    for (const sim::ServerMessage& message : told) {
      FUZZ_CHECK(std::none_of(message.text.begin(), message.text.end(),
                              [](HostChar c) { return c < 0x20 || c == 0x7F; }),
                 "a control character told to the player: " + Units(message.text));
    }
    if (passed) {
      FUZZ_CHECK(received[0].command == command,
                 sim::Utf8(command) + " reached the game as " + sim::Utf8(received[0].command));
      for (const HostText& part : received[0].parts) {
        FUZZ_CHECK(Allowed(config, player.eos_id, player.admin, part),
                   "the game ran a part the rules refuse: " + sim::Utf8(part));
      }
    } else {
      FUZZ_CHECK(received[0].command.empty() && received[0].parts.empty(), sim::Utf8(command));
    }
  }
  sim::StopWorld();
  sim::StartWorld("Fuzz");
  return 0;
}
