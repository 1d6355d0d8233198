// The Permissions plugin as the simulated server keeps it: groups per EOS id and whether the
// plugin is loaded. While it is loaded the host seam hands out its GetPlayerGroups and
// IsPlayerInGroup by the decorated names its library exports them under, with its header's
// signatures, as GetProcAddress would; on Windows the Permissions.dll stand-in (sim/permissions/)
// serves the same groups through sim/face.h. Game thread, as the plugin's own calls are.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

constexpr char kPluginName[] = "Permissions";

struct Model {
  bool loaded = false;
  std::map<HostText, std::vector<HostText>> groups;  // EOS id -> groups, in the order joined
  PermissionsStats stats;
};

Model& TheModel() {
  static auto* model = new Model();
  return *model;
}

TArray<FString> GetPlayerGroups(const FString& eos_id) {
  TArray<FString> groups;
  for (const HostText& group : PermissionsGroupsOf(HostText(*eos_id)))
    groups.Emplace(group.c_str());
  return groups;
}

bool IsPlayerInGroup(const FString& eos_id, const FString& group) {
  return PermissionsHasGroup(HostText(*eos_id), HostText(*group));
}

// The library's exports, by the names the MSVC build of its header gives them.
const std::pair<std::string_view, void*> kExports[] = {
    {"?GetPlayerGroups@Permissions@@YA?AV?$TArray@VFString@@V?$TSizedDefaultAllocator@$0CA@@@@@"
     "AEBVFString@@@Z",
     reinterpret_cast<void*>(&GetPlayerGroups)},
    {"?IsPlayerInGroup@Permissions@@YA_NAEBVFString@@0@Z",
     reinterpret_cast<void*>(&IsPlayerInGroup)},
};

// Where the framework would find a library of the plugin.
bool HasLibrary() {
  std::error_code ignored;
  return std::filesystem::is_regular_file(PluginLibraryPath(kPluginName), ignored);
}

}  // namespace

std::vector<HostText> PermissionsGroupsOf(const HostText& eos_id) {
  Model& model = TheModel();
  ++model.stats.player_groups;
  const auto found = model.groups.find(eos_id);
  return found != model.groups.end() ? found->second : std::vector<HostText>();
}

bool PermissionsHasGroup(const HostText& eos_id, const HostText& group) {
  Model& model = TheModel();
  ++model.stats.in_group;
  const auto found = model.groups.find(eos_id);
  return found != model.groups.end() &&
         std::find(found->second.begin(), found->second.end(), group) != found->second.end();
}

void SetPlayerGroup(const HostText& eos_id, const HostText& group, bool member) {
  std::vector<HostText>& groups = TheModel().groups[eos_id];
  const auto found = std::find(groups.begin(), groups.end(), group);
  if (member && found == groups.end()) groups.push_back(group);
  if (!member && found != groups.end()) groups.erase(found);
}

std::vector<HostText> PermissionsMembersOf(const HostText& group) {
  std::vector<HostText> members;
  for (const auto& [eos_id, groups] : TheModel().groups) {
    if (std::find(groups.begin(), groups.end(), group) != groups.end()) members.push_back(eos_id);
  }
  return members;
}

void SetPlayerGroup(const std::string& eos_id, const std::string& group, bool member) {
  SetPlayerGroup(DecodeUtf8(eos_id), DecodeUtf8(group), member);
}

bool SetPermissionsLoaded(bool loaded, std::string* error) {
  if (HasLibrary()) {
    if (loaded != IsPluginLoaded(kPluginName) &&
        !(loaded ? LoadPlugin(kPluginName, error) : UnloadPluginAnyway(kPluginName, error))) {
      return false;
    }
  }
  TheModel().loaded = loaded;
  return true;
}

bool PermissionsLoaded() { return TheModel().loaded; }

PermissionsStats GetPermissionsStats() { return TheModel().stats; }

void ResetPermissions() {
  Model& model = TheModel();
  model.loaded = false;
  model.groups.clear();
  model.stats = {};
}

}  // namespace sim

namespace host {

void* FindPermissionsExport(const char* name) {
  if (!sim::TheModel().loaded || name == nullptr) return nullptr;
  for (const auto& [exported, function] : sim::kExports) {
    if (exported == name) return function;
  }
  return nullptr;
}

}  // namespace host
