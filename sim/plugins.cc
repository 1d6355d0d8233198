// The framework's plugin manager in the simulated host. It loads ArkApi/Plugins/<Name>/ as the
// framework does: PluginInfo.json read with the framework's defaults and its quirks (a wrongly
// typed value fails the load, except PreventUnloading, which then loads as false with a
// warning), the library loaded (a DllMain that refuses the attach fails it with error 1114, and
// the framework logs a warning and goes on), then the export Plugin_Init called if there is
// one. Unloading goes in the framework's order: refused when the library is missing on disk,
// then the export Plugin_Unload, the module's pending request callbacks dropped, its commands
// and callbacks taken away, its hooks taken off, and last the library freed; the plugin leaves
// the list only once that succeeded. The console and RCON commands plugins.load and
// plugins.unload do the same on demand, and so does the automatic reload, once a second from
// the game state's timer, when the framework's config.json turns it on.
//
// Where it knowingly differs: the library may be taken from where the build put it instead of
// the plugin's folder (SetPluginLibrary), so that the example server folder needs no copy; its
// update is then looked for beside it.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

constexpr double kApiVersion = 2.03;
#if defined(_WIN32)
constexpr char kLibrarySuffix[] = ".dll";
#else
constexpr char kLibrarySuffix[] = ".so";
#endif
// What the framework's automatic reload looks for beside a plugin's library.
constexpr char kUpdateSuffix[] = ".ArkApi";

struct Plugin {
  std::string name;
  void* module = nullptr;
  bool prevent_unloading = false;
};

// The framework's config.json, "settings": the automatic reload of plugins whose update file
// appeared (off unless the file turns it on, as in the framework's code; its shipped file turns
// it on).
struct ReloadSettings {
  bool enabled = false;
  std::chrono::seconds interval{5};
  bool save_world = true;
};

struct Manager {
  std::map<std::string, std::string> library_paths;
  std::vector<Plugin> loaded;
  ReloadSettings reload;
  std::chrono::steady_clock::time_point next_reload_check{};
  std::set<std::string> prevent_unload_warned;
};

Manager& TheManager() {
  static auto* manager = new Manager();
  return *manager;
}

std::string PluginDir(const std::string& name) {
  return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/" + name;
}

std::string LibraryPath(const std::string& name) {
  const auto& paths = TheManager().library_paths;
  const auto it = paths.find(name);
  return it != paths.end() ? it->second : PluginDir(name) + "/" + name + kLibrarySuffix;
}

// Read as the framework reads it (a file that is not JSON throws): each value is taken in
// turn, and the first of the wrong type ends the reading with a warning, leaving it and every
// later value out; the caller's conversions of what is missing then fail the load, all but
// PreventUnloading's, which defaults to false.
nlohmann::json ReadPluginInfo(const std::string& name) {
  nlohmann::json raw = nlohmann::json::object();
  std::ifstream file(PluginDir(name) + "/PluginInfo.json");
  if (file.is_open()) file >> raw;
  nlohmann::json info = nlohmann::json::object();
  try {
    info["FullName"] = raw.value("FullName", "");
    info["Description"] = raw.value("Description", "No description");
    info["Version"] = raw.value("Version", 1.0F);
    info["MinApiVersion"] = raw.value("MinApiVersion", 0.0F);
    info["Dependencies"] = raw.value("Dependencies", std::vector<std::string>{});
    info["PreventUnloading"] = raw.value("PreventUnloading", false);
  } catch (const std::exception& e) {
    FrameworkLog(kLogWarn, std::string("(API::PluginManager::ReadPluginInfo) ") + e.what());
  }
  return info;
}

Plugin* Find(const std::string& name) {
  for (Plugin& plugin : TheManager().loaded) {
    if (plugin.name == name) return &plugin;
  }
  return nullptr;
}

using EntryFn = void (*)();

struct Loaded {
  std::string full_name;
  std::string description;
  float version = 1;
};

Loaded Load(const std::string& name) {
  const std::string path = LibraryPath(name);
  if (!std::filesystem::exists(path))
    throw std::runtime_error("Plugin " + name + " does not exist");
  if (Find(name) != nullptr) throw std::runtime_error("Plugin " + name + " was already loaded");
  nlohmann::json info = ReadPluginInfo(name);
  const auto min_api = static_cast<float>(info["MinApiVersion"]);
  if (min_api != 0.0F && kApiVersion < min_api) {
    throw std::runtime_error("Plugin " + name + " requires newer API version!");
  }
  std::string reason;
  int code = 0;
  void* module = OpenLibrary(path, reason, code);
  if (module == nullptr) {
    throw std::runtime_error("Failed to load plugin - " + name +
                             "\nError code: " + std::to_string(code));
  }
  if (auto init = reinterpret_cast<EntryFn>(FindExport(module, "Plugin_Init"))) init();
  // The framework makes the list entry only now: a value of PluginInfo.json that still cannot be
  // converted (the dependencies) fails the load of a plugin that is loaded and started.
  Loaded loaded{info["FullName"], info["Description"], static_cast<float>(info["Version"])};
  (void)info["Dependencies"].get<std::vector<std::string>>();
  TheManager().loaded.push_back({name, module, info.value("PreventUnloading", false)});
  return loaded;
}

void Unload(const std::string& name, bool despite_prevention = false) {
  Plugin* plugin = Find(name);
  if (plugin == nullptr) throw std::runtime_error("Plugin " + name + " is not loaded");
  if (plugin->prevent_unloading && !despite_prevention) {
    throw std::runtime_error("unloading is disabled (PreventUnloading=true)");
  }
  if (!std::filesystem::exists(LibraryPath(name))) {
    throw std::runtime_error("Plugin " + name + " does not exist");
  }
  void* module = plugin->module;
  if (auto unload = reinterpret_cast<EntryFn>(FindExport(module, "Plugin_Unload"))) unload();
  DropRequestCallbacksOfModule(module);
  RemoveCommandsOfModule(module);
  RemoveHooksOfModule(module);
  if (!CloseLibrary(module)) {
    throw std::runtime_error("Failed to unload plugin - " + name +
                             "\nError code: " + std::to_string(LastLoaderError()));
  }
  std::erase_if(TheManager().loaded, [module](const Plugin& p) { return p.module == module; });
  TheManager().prevent_unload_warned.erase(name);
}

// Puts the update in place of the library, as the framework does (copy, overwriting, then the
// update removed).
void ApplyUpdate(const std::string& update, const std::string& library) {
#if !defined(_WIN32)
  // An imitation of Windows, which refuses to overwrite a DLL image that is still mapped (here
  // the copy would change the pages of the running library under it).
  if (LibraryStillMapped(library)) {
    throw std::filesystem::filesystem_error("cannot copy file", update, library,
                                            std::make_error_code(std::errc::text_file_busy));
  }
#endif
  std::filesystem::copy_file(update, library, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(update);
}

ReloadSettings ReadReloadSettings() {
  ReloadSettings settings;
  std::ifstream file(AsaApi::Tools::GetCurrentDir() + "/config.json");
  if (!file.is_open()) return settings;
  const nlohmann::json config = nlohmann::json::parse(file, nullptr, false);
  if (!config.is_object() || !config.contains("settings") || !config["settings"].is_object()) {
    return settings;
  }
  const nlohmann::json& section = config["settings"];
  settings.enabled = section.value("AutomaticPluginReloading", false);
  if (settings.enabled) {
    settings.interval = std::chrono::seconds(section.value("AutomaticPluginReloadSeconds", 5));
    settings.save_world = section.value("SaveWorldBeforePluginReload", true);
  }
  return settings;
}

// The plugin name after the command word, as the framework's commands read it.
std::string PluginArgument(const FString& text) {
  TArray<FString> words;
  text.ParseIntoArray(words, HOST_TEXT(" "), true);
  return words.Num() > 1 ? EncodeUtf8(HostText(*words[1])) : std::string();
}

HostText LoadCommand(const FString& text) {
  const std::string name = PluginArgument(text);
  if (name.empty()) return HOST_TEXT("Plugin not found");
  try {
    (void)Load(name);
  } catch (const std::exception& e) {
    FrameworkLog(kLogWarn, std::string("(API::ArkBaseApi::LoadPlugin) ") + e.what());
    return DecodeUtf8(std::string("Failed to load plugin - ") + e.what());
  }
  FrameworkLog(kLogInfo, "Loaded plugin - " + name);
  return HOST_TEXT("Successfully loaded plugin");
}

HostText UnloadCommand(const FString& text) {
  const std::string name = PluginArgument(text);
  if (name.empty()) return HOST_TEXT("Plugin not found");
  try {
    Unload(name);
  } catch (const std::exception& e) {
    FrameworkLog(kLogWarn, std::string("(API::ArkBaseApi::UnloadPlugin) ") + e.what());
    return DecodeUtf8(std::string("Failed to unload plugin - ") + e.what());
  }
  FrameworkLog(kLogInfo, "Unloaded plugin - " + name);
  return HOST_TEXT("Successfully unloaded plugin");
}

}  // namespace

void RegisterFrameworkCommands(
    const std::function<void(const FString&, const ConsoleCommandCallback&,
                             const RconCommandCallback&)>& add) {
  for (const auto& entry : {std::pair{HOST_TEXT("plugins.load"), &LoadCommand},
                            std::pair{HOST_TEXT("plugins.unload"), &UnloadCommand}}) {
    const auto run = entry.second;  // a copy: clang 14 cannot capture a structured binding
    add(
        FString(entry.first),
        [run](APlayerController* controller, FString* command, bool) {
          host::SendServerMessage(host::AsShooterController(controller),
                                  FString(run(*command).c_str()));
        },
        [run](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
          FString reply(run(packet->Body).c_str());
          connection->SendMessageW(packet->Id, 0, &reply);
        });
  }
}

void SetPluginLibrary(const std::string& name, const std::string& path) {
  TheManager().library_paths[name] = path;
}

bool LoadPlugin(const std::string& name, std::string* error) {
  // The server's start: the framework's settings are read once all plugins are loaded.
  struct ReadSettingsAfter {
    ~ReadSettingsAfter() {
      try {
        TheManager().reload = ReadReloadSettings();
      } catch (...) {  // NOLINT(bugprone-empty-catch): no reload then
      }
    }
  } read_settings;
  try {
    // An update that waits is applied at the start as well.
    const std::string library = LibraryPath(name);
    if (std::filesystem::exists(library + kUpdateSuffix))
      ApplyUpdate(library + kUpdateSuffix, library);
    const Loaded info = Load(name);
    std::ostringstream line;
    line << "Loaded plugin " << (info.full_name.empty() ? name : info.full_name) << " V"
         << info.version << " (" << info.description << ")";
    FrameworkLog(kLogInfo, line.str());
    return true;
  } catch (const std::exception& e) {
    FrameworkLog(kLogWarn, std::string("(API::PluginManager::LoadAllPlugins) ") + e.what());
    if (error != nullptr) *error = e.what();
    return false;
  }
}

bool UnloadPlugin(const std::string& name, std::string* error) {
  try {
    Unload(name);
    return true;
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
}

bool UnloadPluginAnyway(const std::string& name, std::string* error) {
  try {
    Unload(name, true);
    FrameworkLog(kLogInfo, "Unloaded plugin - " + name);
    return true;
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
}

bool IsPluginLoaded(const std::string& name) { return Find(name) != nullptr; }

std::string PluginLibraryPath(const std::string& name) { return LibraryPath(name); }

void DetectPluginChanges() {
  Manager& manager = TheManager();
  const auto now = std::chrono::steady_clock::now();
  if (!manager.reload.enabled || now < manager.next_reload_check) return;
  manager.next_reload_check = now + manager.reload.interval;
  bool save_world = manager.reload.save_world;
  std::vector<std::string> names;
  for (const Plugin& plugin : manager.loaded) names.push_back(plugin.name);
  for (const std::string& name : names) {
    const Plugin* plugin = Find(name);
    const std::string library = LibraryPath(name);
    const std::string update = library + kUpdateSuffix;
    if (plugin == nullptr || !std::filesystem::exists(update)) continue;
    if (plugin->prevent_unloading) {
      if (manager.prevent_unload_warned.insert(name).second) {
        const std::string file = std::filesystem::path(update).filename().string();
        FrameworkLog(kLogWarn, "Plugin '" + name +
                                   "' has PreventUnloading=true. Update pending - restart the "
                                   "server to apply " +
                                   file + ".");
      }
      continue;
    }
    if (save_world) {
      FrameworkLog(kLogInfo, "Saving world before reloading plugins");
      FrameworkLog(kLogInfo, "World saved.");
      save_world = false;
    }
    try {
      Unload(name);
      ApplyUpdate(update, library);
      (void)Load(name);
      FrameworkLog(kLogInfo, "Reloaded plugin - " + name);
    } catch (const std::exception& e) {
      FrameworkLog(kLogWarn, std::string("(API::PluginManager::DetectPluginChanges) ") + e.what());
    }
  }
}

void* FindPluginExport(const std::string& name, const char* symbol) {
  Plugin* plugin = Find(name);
  return plugin != nullptr ? FindExport(plugin->module, symbol) : nullptr;
}

}  // namespace sim
