// The bodies posted to a Discord webhook: one embed per notification, green for a command let
// through, red for a blocked one, teal and purple for the same of a command a plugin ran for a
// player, blue for an RCON command, orange for a gap in the channel; one
// post carries one embed, or, when notifications wait, several in order. A post pings only the
// roles and users its alert names, in its content; every post tells Discord so, so that no
// text of a player's ever pings anyone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {

inline constexpr char kAllowedTitle[] = ":white_check_mark: Allowed Command";
inline constexpr char kBlockedTitle[] = ":x: Blocked Command";
inline constexpr char kRconTitle[] = ":satellite: RCON Command";
inline constexpr char kGapTitle[] = ":warning: Commands not shown";
inline constexpr char kPluginAllowedTitle[] = ":robot: Plugin Command";
inline constexpr char kPluginBlockedTitle[] = ":no_entry_sign: Blocked Plugin Command";
inline constexpr int kGreen = 65280;
inline constexpr int kRed = 16711680;
inline constexpr int kOrange = 16753920;
inline constexpr int kBlue = 3447003;
inline constexpr int kTeal = 1752220;
inline constexpr int kPurple = 10181046;

// Discord's limits, in characters.
inline constexpr std::size_t kMaxDescription = 4096;
inline constexpr std::size_t kMaxUsername = 80;
inline constexpr std::size_t kMaxEmbeds = 10;
inline constexpr std::size_t kMaxEmbedCharacters = 6000;  // every embed of a post together

struct Embed {
  std::string_view title;
  std::string description;  // cut to kMaxDescription characters
  int color = 0;

  // The characters Discord counts for this embed: title and description.
  [[nodiscard]] std::size_t Characters() const;
};

// An embed with its description cut to what Discord accepts.
Embed MakeEmbed(std::string_view title, std::string description, int color);

// The body of a post with one embed: ten lines, indented with TABs, every text escaped for JSON;
// the last says "allowed_mentions": {"parse": []}, so that nothing in the post pings.
std::string DiscordBody(const Embed& embed, std::string_view username);
// The body of a post with several embeds, each written as in the body of one. With `mentions`
// (each "<@&ROLE_ID>" or "<@USER_ID>", see alerts.h), a first line of "content" holds them,
// joined by spaces, and "allowed_mentions" names exactly those roles and users: they, and only
// they, are pinged.
std::string DiscordBody(const std::vector<const Embed*>& embeds, std::string_view username,
                        const std::vector<std::string>& mentions = {});

}  // namespace quillmark
