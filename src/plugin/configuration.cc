// The configuration in force.
#include "plugin/configuration.h"

#include <string>
#include <vector>

#include "base/config.h"
#include "base/logger.h"

namespace quillmark {
namespace {

Configuration& Current() {
  static Configuration configuration;
  return configuration;
}

}  // namespace

const Configuration& CurrentConfiguration() { return Current(); }

void UseConfiguration(nlohmann::json document) {
  Configuration fresh;
  std::vector<ConfigProblem> problems;
  fresh.audit = ReadAuditSettings(document, problems);
  fresh.notify = ReadNotifySettings(document, problems);
  fresh.journal = ReadJournalSettings(document, problems);
  fresh.allow_list = AllowList(document);
  fresh.plugin_commands = ReadPluginCommands(document, problems);
  fresh.document = std::move(document);
  Current() = std::move(fresh);
  for (const ConfigProblem& problem : problems) LogError(problem.message);
}

void LoadConfiguration() { UseConfiguration(ReadConfigFile(ConfigPath())); }

void ForgetConfiguration() { Current() = Configuration{}; }

}  // namespace quillmark
