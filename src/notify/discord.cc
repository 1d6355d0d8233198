// Building and handing over the webhook post. Every text that goes into the body is escaped for
// JSON, so that a player's command can neither break the body nor add fields to it.
#include "notify/discord.h"

#include <exception>
#include <unordered_map>

#include "base/config.h"
#include "base/logger.h"
#include "host/host.h"
#include "host/host_text.h"
#include "host/libraries.h"

namespace quillmark {
namespace {

// Nine lines: the literal braces doubled for the formatter, the indentation in TABs.
constexpr char kBodyTemplate[] =
    "{{\n"
    "\t\t\t\"embeds\": [{{\n"
    "\t\t\t\t\"title\": \"{}\",\n"
    "\t\t\t\t\"description\": \"{}\",\n"
    "\t\t\t\t\"color\": {}\n"
    "\t\t\t}}],\n"
    "\t\t\t\"username\": \"{}\",\n"
    "\t\t\t\"avatar_url\": null\n"
    "\t\t}}";

constexpr char kAllowedTitle[] = ":white_check_mark: Allowed Command";
constexpr char kBlockedTitle[] = ":x: Blocked Command";
constexpr int kGreen = 65280;
constexpr int kRed = 16711680;
constexpr char kEllipsis[] = "\xE2\x80\xA6";

std::string JsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        } else {
          out += c;
        }
    }
  }
  return out;
}

// The byte offset after the first `count` UTF-8 characters of `text`, or npos when it has no
// more than `count` characters.
std::size_t AfterCharacters(std::string_view text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (seen++ == count) return i;
  }
  return std::string_view::npos;
}

// `text` cut to at most `limit` characters; with `mark`, a cut text ends in an ellipsis, which
// takes the place of its last kept character.
std::string Cut(std::string_view text, std::size_t limit, bool mark) {
  std::size_t end = AfterCharacters(text, limit);
  if (end == std::string_view::npos) return std::string(text);
  if (!mark) return std::string(text.substr(0, end));
  do {
    --end;  // back to where the last kept character begins
  } while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80);
  return std::string(text.substr(0, end)) + kEllipsis;
}

void OnPostDone(bool success, const std::string& result) {
  if (success) return;
  try {
    // The framework gives no text for a post that got no answer; it logs the reason itself.
    LogError(fmt::format("Error sending command to Discord. Error: {}",
                         result.empty() ? "no response (connection failed or timed out)" : result));
  } catch (...) {  // NOLINT(bugprone-empty-catch): nowhere left to report to on this thread
  }
}

// The configured poster name as Discord will show it: non-ASCII letters become '?', as the
// name goes through the host's text types.
std::string PosterName(const nlohmann::json& config) {
  std::string sender = "No message";
  const auto messages = config.find("messages");
  if (messages != config.end() && !messages->is_null()) {
    if (!messages->is_object()) {
      throw std::invalid_argument(std::string("\"messages\" must be an object, but is ") +
                                  messages->type_name());
    }
    sender = messages->value("sender", sender);
  }
  const FString name(AsaApi::Tools::Utf8Decode(sender).c_str());
  return FStringToNarrow(name);
}

}  // namespace

std::string DiscordBody(std::string_view title, std::string_view description, int color,
                        std::string_view username) {
  return fmt::format(kBodyTemplate, JsonEscape(title),
                     JsonEscape(Cut(description, kMaxDescription, true)), color,
                     JsonEscape(Cut(username, kMaxUsername, false)));
}

void PostToDiscord(const std::string& message, bool allowed) {
  try {
    const nlohmann::json& config = PluginConfig();
    std::string url;
    std::string poster;
    try {
      url = config.value("discordwh", "");
      if (url.empty()) return;
      poster = PosterName(config);
    } catch (const std::exception& e) {
      LogError(fmt::format(
          "Discord notification not sent: config.json is not usable for notifications: {}",
          e.what()));
      return;
    }
    const std::string body = DiscordBody(allowed ? kAllowedTitle : kBlockedTitle, message,
                                         allowed ? kGreen : kRed, poster);
    const bool handed_over = API::Requests::Get().CreatePostRequest(
        url,
        [](bool success, const std::string& result,
           const std::unordered_map<std::string, std::string>& /*headers*/) {
          OnPostDone(success, result);
        },
        body, "application/json", {});
    if (!handed_over) {
      LogError("Error sending command to Discord. Error: the request could not be handed over");
    }
  } catch (const std::exception& e) {
    try {
      LogError(fmt::format("Error sending command to Discord. Error: {}", e.what()));
    } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the error line
    }
  }
}

}  // namespace quillmark
