// Writing the webhook bodies. Every text is escaped for JSON, so that a player's command can
// neither break the body nor add fields to it.
#include "notify/discord_body.h"

#include "audit/audit_text.h"
#include "host/libraries.h"
#include "notify/alerts.h"

namespace quillmark {
namespace {

// The body of one embed is ten lines, the literal braces doubled for the formatter; a body of
// several repeats the embed's four middle lines for each, and one that pings has its content in
// a line of its own first.
constexpr char kEmbeds[] = "\t\t\t\"embeds\": [";
constexpr char kEmbed[] =
    "{{\n"
    "\t\t\t\t\"title\": \"{}\",\n"
    "\t\t\t\t\"description\": \"{}\",\n"
    "\t\t\t\t\"color\": {}\n"
    "\t\t\t}}";
constexpr char kTail[] =
    "],\n"
    "\t\t\t\"username\": \"{}\",\n"
    "\t\t\t\"avatar_url\": null,\n"
    "\t\t\t\"allowed_mentions\": {{\"parse\": []{}}}\n"
    "\t\t}}";

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

// The ids of the mentions of roles (or of users) as a JSON array.
std::string Ids(const std::vector<std::string>& mentions, bool roles) {
  std::string ids = "[";
  for (const std::string& mention : mentions) {
    if (IsRoleMention(mention) != roles) continue;
    if (ids.size() > 1) ids += ", ";
    ids.append("\"").append(JsonEscape(MentionId(mention))).append("\"");
  }
  return ids + "]";
}

}  // namespace

std::size_t Embed::Characters() const {
  return CountCharacters(title) + CountCharacters(description);
}

Embed MakeEmbed(std::string_view title, std::string description, int color) {
  if (CountCharacters(description) > kMaxDescription) {
    description = CutCharacters(description, kMaxDescription);
  }
  return Embed{title, std::move(description), color};
}

std::string DiscordBody(const Embed& embed, std::string_view username) {
  return DiscordBody(std::vector<const Embed*>{&embed}, username);
}

std::string DiscordBody(const std::vector<const Embed*>& embeds, std::string_view username,
                        const std::vector<std::string>& mentions) {
  std::string body = "{\n";
  std::string allowed;
  if (!mentions.empty()) {
    std::string content;
    for (const std::string& mention : mentions) {
      if (!content.empty()) content += ' ';
      content += mention;
    }
    body.append("\t\t\t\"content\": \"").append(JsonEscape(content)).append("\",\n");
    allowed =
        fmt::format(", \"roles\": {}, \"users\": {}", Ids(mentions, true), Ids(mentions, false));
  }
  body += kEmbeds;
  for (std::size_t i = 0; i < embeds.size(); ++i) {
    if (i > 0) body += ", ";
    body += fmt::format(kEmbed, JsonEscape(embeds[i]->title), JsonEscape(embeds[i]->description),
                        embeds[i]->color);
  }
  body += fmt::format(kTail, JsonEscape(username), allowed);
  return body;
}

}  // namespace quillmark
