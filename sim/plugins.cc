// The framework's plugin manager in the simulated host. It loads ArkApi/Plugins/<Name>/ as the
// framework does: PluginInfo.json read with the framework's defaults (a wrongly typed value
// fails the load), the library loaded (a DllMain that refuses the attach fails it with error
// 1114, and the framework logs a warning and goes on), then the export Plugin_Init called if
// there is one. Unloading goes in the framework's order: the export Plugin_Unload, then the
// module's pending request callbacks dropped, its commands and callbacks taken away, its hooks
// taken off, and last the library freed. The console and RCON commands plugins.load and
// plugins.unload do the same on demand.
//
// Where it knowingly differs: the library may be taken from where the build put it instead of
// the plugin's folder (SetPluginLibrary), so that the example server folder needs no copy.
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
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

struct Plugin {
  std::string name;
  void* module = nullptr;
  bool prevent_unloading = false;
};

struct Manager {
  std::map<std::string, std::string> library_paths;
  std::vector<Plugin> loaded;
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

struct PluginInfo {
  std::string full_name;
  std::string description;
  double version = 1.0;
  bool prevent_unloading = false;
};

// As the framework reads it; throws for a file that is not JSON or a value of the wrong type.
PluginInfo ReadPluginInfo(const std::string& name) {
  nlohmann::json raw = nlohmann::json::object();
  std::ifstream file(PluginDir(name) + "/PluginInfo.json");
  if (file.is_open()) file >> raw;
  PluginInfo info;
  info.full_name = raw.value("FullName", "");
  info.description = raw.value("Description", "No description");
  info.version = raw.value("Version", 1.0);
  const double min_api = raw.value("MinApiVersion", 0.0);
  (void)raw.value("Dependencies", std::vector<std::string>{});
  info.prevent_unloading = raw.value("PreventUnloading", false);
  if (min_api != 0.0 && kApiVersion < min_api) {
    throw std::runtime_error("Plugin " + name + " requires newer API version!");
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

PluginInfo Load(const std::string& name) {
  if (Find(name) != nullptr) throw std::runtime_error("Plugin " + name + " was already loaded");
  const std::string path = LibraryPath(name);
  if (!std::filesystem::exists(path))
    throw std::runtime_error("Plugin " + name + " does not exist");
  const PluginInfo info = ReadPluginInfo(name);
  std::string reason;
  int code = 0;
  void* module = OpenLibrary(path, reason, code);
  if (module == nullptr) {
    throw std::runtime_error("Failed to load plugin - " + name +
                             "\nError code: " + std::to_string(code));
  }
  if (auto init = reinterpret_cast<EntryFn>(FindExport(module, "Plugin_Init"))) init();
  TheManager().loaded.push_back({name, module, info.prevent_unloading});
  return info;
}

void Unload(const std::string& name) {
  Plugin* plugin = Find(name);
  if (plugin == nullptr) throw std::runtime_error("Plugin " + name + " is not loaded");
  if (plugin->prevent_unloading) {
    throw std::runtime_error("unloading is disabled (PreventUnloading=true)");
  }
  void* module = plugin->module;
  if (auto unload = reinterpret_cast<EntryFn>(FindExport(module, "Plugin_Unload"))) unload();
  DropRequestCallbacksOfModule(module);
  RemoveCommandsOfModule(module);
  RemoveHooksOfModule(module);
  std::erase_if(TheManager().loaded, [module](const Plugin& p) { return p.module == module; });
  if (!CloseLibrary(module)) throw std::runtime_error("Failed to unload plugin - " + name);
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
  try {
    const PluginInfo info = Load(name);
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

bool IsPluginLoaded(const std::string& name) { return Find(name) != nullptr; }

void* FindPluginExport(const std::string& name, const char* symbol) {
  Plugin* plugin = Find(name);
  return plugin != nullptr ? FindExport(plugin->module, symbol) : nullptr;
}

}  // namespace sim
