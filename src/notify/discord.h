// The Discord webhook notifier: one embed per console command, green for a command let through
// and red for a blocked one, teal and purple for those of a command a plugin ran for a player,
// and one per RCON command, blue, delivered to the webhook that
// config.json names, in order and without loss (see delivery.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/libraries.h"
#include "notify/delivery.h"
#include "notify/notify_settings.h"

namespace quillmark {

// Starts delivering: from now on notifications are queued and posted on the host's frames.
// Game thread.
void StartNotifier(const DeliveryOptions& options);
// A new configuration's pace and bound, from now on. Game thread.
void ReconfigureNotifier(const DeliveryOptions& options);
// Stops delivering within about a second (the host gives the plugin no later chance): what
// waits gets one last post per webhook (see Delivery::Stop), and one error line says what the
// channel was not shown, when anything: notifications not posted, posted without an answer
// that reached the plugin, or counted as omitted without the channel's saying so. No callback
// of the plugin runs after it. Game thread.
void StopNotifier();

// What a notification tells, which sets its embed's title and colour.
enum class Notice { kAllowed, kBlocked, kRcon, kPluginAllowed, kPluginBlocked };

// Queues `message` as the description of an embed titled and coloured by `notice` for the
// settings' webhook and name; `who` names who sent the command in error lines, `sender` whose
// share of the queue it takes (empty: `who`; see delivery.h) and `shown` how the embed of what
// is not shown names the sender (escaped for markdown; empty: `who`). With `mentions` (see
// AlertMentions) it is an alert: the post it leads pings them. Nothing when no webhook is
// configured or the notifier is stopped. Never waits for the network; never throws. Game
// thread.
void PostToDiscord(const NotifySettings& settings, std::string message, Notice notice,
                   std::string who, std::string sender = {}, std::string shown = {},
                   std::vector<std::string> mentions = {});

// Whether a notification of `sender` (shown as `shown`) for the settings' webhook is to be made
// now. False when nothing is posted (no webhook, the notifier stopped) and when it would not be
// queued: it is then counted as PostToDiscord would count it (omitted while the queue is full
// and the sender has its share), and the caller saves making its text. `alert`: it will ping
// (see delivery.h). Game thread.
bool AdmitNotification(const NotifySettings& settings, std::string_view sender = {},
                       std::string_view shown = {}, bool alert = false);

// Notifications queued and not yet delivered, refused, counted as omitted or given up, and gap
// embeds not yet posted: what the channel is still owed.
std::size_t WaitingNotifications();

}  // namespace quillmark
