// The configuration in force: config.json's document, and what is read from it once, when it is
// put in force, instead of on every command. Start-up puts one in force; so may a reload.
#pragma once

#include "audit/allow_list.h"
#include "audit/audit_settings.h"
#include "audit/plugin_commands.h"
#include "host/libraries.h"
#include "journal/journal_settings.h"
#include "notify/discord.h"

namespace quillmark {

struct Configuration {
  nlohmann::json document;  // null before the plugin starts
  AllowList allow_list;     // built from the document
  PluginCommands plugin_commands;
  AuditSettings audit;
  NotifySettings notify;
  JournalSettings journal;
};

// The configuration in force. Game thread.
const Configuration& CurrentConfiguration();

// Puts `document` in force in one step, with what is read from it; each problem found in it
// gets one error line. Game thread.
void UseConfiguration(nlohmann::json document);

// Reads config.json and puts it in force. Throws ConfigError, leaving the configuration in force
// as it was, when the file cannot be used. Game thread.
void LoadConfiguration();

// Drops the configuration in force: nothing is let through and nothing is posted.
void ForgetConfiguration();

}  // namespace quillmark
