// The webhook body builder on any texts: every body is JSON that parses back to the texts it was
// given, each description cut to Discord's limit and marked where it was cut, within Discord's
// limits on titles, descriptions and names as given. And a player's text as an embed shows it:
// no markdown character left unescaped, shown by Discord as typed (or its start and "…"), within
// its limit counted escaped, never cut inside an escape.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audit/audit_text.h"
#include "fuzz_check.h"
#include "host/libraries.h"
#include "host/unicode.h"
#include "notify/discord_body.h"
#include "notify/markdown.h"
#include "tools/webhook_receiver.h"

namespace {

// A text of code points: runs of ASCII (controls, quotes and backslashes among them), accented
// letters, CJK and emoji, sometimes one repeated thousands of times to reach the limits.
std::u32string Text(FuzzedDataProvider& in) {
  std::u32string text;
  const std::size_t pieces = in.ConsumeIntegralInRange<std::size_t>(0, 24);
  for (std::size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
    char32_t c = 0;
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        c = in.ConsumeIntegralInRange<char32_t>(0, 0x7F);
        break;
      case 1:
        c = in.ConsumeIntegralInRange<char32_t>(0x80, 0x7FF);
        break;
      case 2:
        c = in.ConsumeIntegralInRange<char32_t>(0x800, 0xD7FF);
        break;
      case 3:
        c = in.ConsumeIntegralInRange<char32_t>(0xE000, 0xFFFF);
        break;
      default:
        c = in.ConsumeIntegralInRange<char32_t>(0x10000, 0x10FFFF);
        break;
    }
    const std::size_t repeat =
        in.ConsumeBool() ? 1 : in.ConsumeIntegralInRange<std::size_t>(1, 5000);
    text.append(repeat, c);
  }
  return text;
}

std::string Utf8(const std::u32string& text) {
  std::string out;
  for (const char32_t c : text) host::AppendUtf8(out, c);
  return out;
}

// What Discord must show of a description: all of it, or when it is longer than Discord takes,
// as many characters as fit with an ellipsis after them.
std::u32string Shown(const std::u32string& text) {
  if (text.size() <= quillmark::kMaxDescription) return text;
  return text.substr(0, quillmark::kMaxDescription - 1) + U"\u2026";
}

constexpr std::array<std::pair<const char*, int>, 3> kKinds = {{
    {quillmark::kAllowedTitle, quillmark::kGreen},
    {quillmark::kBlockedTitle, quillmark::kRed},
    {quillmark::kGapTitle, quillmark::kOrange},
}};

}  // namespace

// A text escaped and cut as a field of an embed.
void CheckMarkdownField(FuzzedDataProvider& in) {
  const std::string plain = Utf8(Text(in));
  const std::size_t limit = in.ConsumeIntegralInRange<std::size_t>(0, 5000);
  const quillmark::MarkdownField field(plain, limit);
  FUZZ_CHECK(field.characters == quillmark::CountCharacters(field.text), field.text);
  FUZZ_CHECK(field.characters <= limit, field.text);
  constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
  const std::string escaped = quillmark::EscapeMarkdown(plain);
  const bool cut = quillmark::CountCharacters(escaped) > limit;
  std::string_view kept = field.text;
  if (cut && kept.size() >= kEllipsis.size()) kept.remove_suffix(kEllipsis.size());
  std::size_t unescaped = 0;
  const std::string shown = quillmark::tools::RenderedMarkdown(kept, &unescaped);
  FUZZ_CHECK(unescaped == 0, field.text);
  FUZZ_CHECK(cut ? plain.rfind(shown, 0) == 0 : shown == plain, field.text);
  // Every backslash kept escapes the character after it.
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == '\\') FUZZ_CHECK(++i < kept.size(), field.text);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  CheckMarkdownField(in);
  const std::u32string username = Text(in);
  std::vector<std::u32string> descriptions;
  std::vector<quillmark::Embed> embeds;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(1, quillmark::kMaxEmbeds);
  for (std::size_t i = 0; i < count; ++i) {
    const auto& [title, color] = kKinds[in.ConsumeIntegralInRange<std::size_t>(0, 2)];
    descriptions.push_back(Text(in));
    embeds.push_back(quillmark::MakeEmbed(title, Utf8(descriptions.back()), color));
  }
  std::vector<const quillmark::Embed*> batch;
  for (const quillmark::Embed& embed : embeds) batch.push_back(&embed);
  const std::string body = count == 1 ? quillmark::DiscordBody(embeds[0], Utf8(username))
                                      : quillmark::DiscordBody(batch, Utf8(username));

  const nlohmann::json post = nlohmann::json::parse(body, nullptr, false);
  FUZZ_CHECK(!post.is_discarded(), body);
  FUZZ_CHECK(post.is_object() && post.size() == 4, body);
  FUZZ_CHECK(post["allowed_mentions"] == nlohmann::json::parse(R"({"parse": []})"), body);
  FUZZ_CHECK(post["username"] == Utf8(username), body);
  FUZZ_CHECK(post["avatar_url"].is_null(), body);
  FUZZ_CHECK(post["embeds"].is_array() && post["embeds"].size() == count, body);
  for (std::size_t i = 0; i < count; ++i) {
    const nlohmann::json& embed = post["embeds"][i];
    FUZZ_CHECK(embed.is_object() && embed.size() == 3, body);
    FUZZ_CHECK(embed["title"] == std::string(embeds[i].title), body);
    FUZZ_CHECK(embed["color"] == embeds[i].color, body);
    const std::u32string shown = Shown(descriptions[i]);
    FUZZ_CHECK(embed["description"] == Utf8(shown), body);
    FUZZ_CHECK(shown.size() <= quillmark::kMaxDescription, body);
    // The titles are ASCII: one character a byte.
    FUZZ_CHECK(embeds[i].Characters() == shown.size() + embeds[i].title.size(), body);
  }
  return 0;
}
