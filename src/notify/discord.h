// The Discord webhook notifier: one embed per console command, green for a command let through
// and red for a blocked one, posted to the webhook that config.json names.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// Posts `message` as the description of an embed titled by `allowed` to the webhook in
// "discordwh", under the name in "messages"."sender" (default "No message"). Does nothing when
// no webhook is configured. Returns once the post is handed to the host's request service,
// without waiting for it; a failed post is logged later, from whatever thread the service
// calls back on. A configuration that cannot be used is logged and nothing is posted. Never
// throws. Game thread.
void PostToDiscord(const std::string& message, bool allowed);

// The webhook body: the embed with `title`, `description` and `color`, posted as `username`.
// Texts are escaped for JSON; the description and the name are cut to what Discord accepts.
std::string DiscordBody(std::string_view title, std::string_view description, int color,
                        std::string_view username);

// Discord's limits, in characters.
inline constexpr std::size_t kMaxDescription = 4096;
inline constexpr std::size_t kMaxUsername = 80;

}  // namespace quillmark
