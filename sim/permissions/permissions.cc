// Every function the Permissions plugin's public headers declare. What the audit plugin asks
// (a player's groups, whether a player is in a group) is the simulated world's, as faithful as
// the world is; the rest keeps its own small store: the groups and their permissions ("Admins"
// with "*" and "Default" made at the start, as the plugin makes them), tribes' groups, and the
// callbacks, which are kept and called when a player's groups change. Where it knowingly
// differs: timed memberships start at once and never end, the delay and length ignored, and the
// callbacks' groups and tribes' groups are not part of a player's groups. Game thread.
#include <DBHelper.h>
#include <Permissions.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/face.h"

namespace {

std::wstring Text(const FString& text) { return std::wstring(*text); }

TArray<FString> Array(const std::vector<std::wstring>& texts) {
  TArray<FString> array;
  for (const std::wstring& text : texts) array.Add(FString(text.c_str()));
  return array;
}

using GroupUpdated = std::function<void(const FString&, int)>;
using GroupUpdatedDetailed =
    std::function<void(const FString&, int, const FString&, bool, bool, bool)>;
using PlayerCallback = std::function<TArray<FString>(const FString&, int*)>;

struct Store {
  std::mutex mutex;
  std::map<std::wstring, std::set<std::wstring>> groups{{L"Admins", {L"*"}}, {L"Default", {}}};
  std::map<int, std::vector<std::wstring>> tribes;
  std::map<std::wstring, PlayerCallback> player_callbacks;
  std::map<std::wstring, GroupUpdated> updated;
  std::map<std::wstring, GroupUpdatedDetailed> updated_detailed;
};

Store& TheStore() {
  static auto* store = new Store();
  return *store;
}

bool GroupExists(const std::wstring& group) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  return store.groups.contains(group);
}

bool HasPermission(const std::wstring& group, const std::wstring& permission) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  const auto found = store.groups.find(group);
  return found != store.groups.end() &&
         (found->second.contains(L"*") || found->second.contains(permission));
}

// Tells the subscribers that the player's groups changed: group added or removed.
void TellChanged(const FString& eos_id, const FString& group, bool added) {
  std::vector<GroupUpdated> updated;
  std::vector<GroupUpdatedDetailed> detailed;
  {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    for (const auto& [name, callback] : store.updated) updated.push_back(callback);
    for (const auto& [name, callback] : store.updated_detailed) detailed.push_back(callback);
  }
  for (const GroupUpdated& callback : updated) callback(eos_id, 0);
  for (const GroupUpdatedDetailed& callback : detailed)
    callback(eos_id, 0, group, added, false, false);
}

std::optional<std::string> AddMember(const FString& eos_id, const FString& group) {
  if (!GroupExists(Text(group))) return "Group does not exist";
  if (sim::face::IsPlayerInGroup(Text(eos_id), Text(group))) return "Player was already added";
  sim::face::SetPlayerGroup(Text(eos_id), Text(group), true);
  TellChanged(eos_id, group, true);
  return std::nullopt;
}

std::optional<std::string> RemoveMember(const FString& eos_id, const FString& group) {
  if (!GroupExists(Text(group))) return "Group does not exist";
  if (!sim::face::IsPlayerInGroup(Text(eos_id), Text(group))) return "Player is not in group";
  sim::face::SetPlayerGroup(Text(eos_id), Text(group), false);
  TellChanged(eos_id, group, false);
  return std::nullopt;
}

std::optional<std::string> AddTribe(int tribe, const FString& group) {
  if (!GroupExists(Text(group))) return "Group does not exist";
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  std::vector<std::wstring>& groups = store.tribes[tribe];
  if (std::find(groups.begin(), groups.end(), Text(group)) != groups.end()) {
    return "Tribe was already added";
  }
  groups.push_back(Text(group));
  return std::nullopt;
}

std::optional<std::string> RemoveTribe(int tribe, const FString& group) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  std::vector<std::wstring>& groups = store.tribes[tribe];
  const auto found = std::find(groups.begin(), groups.end(), Text(group));
  if (found == groups.end()) return "Tribe is not in group";
  groups.erase(found);
  return std::nullopt;
}

std::vector<std::wstring> TribeGroups(int tribe) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  const auto found = store.tribes.find(tribe);
  return found != store.tribes.end() ? found->second : std::vector<std::wstring>();
}

}  // namespace

namespace Permissions {

TArray<FString> GetPlayerGroups(const FString& eos_id) {
  return Array(sim::face::PlayerGroups(Text(eos_id)));
}

TArray<FString> GetGroupPermissions(const FString& group) {
  std::vector<std::wstring> permissions;
  {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (const auto found = store.groups.find(Text(group)); found != store.groups.end()) {
      permissions.assign(found->second.begin(), found->second.end());
    }
  }
  return Array(permissions);
}

TArray<FString> GetGroupMembers(const FString& group) {
  return Array(sim::face::GroupMembers(Text(group)));
}

bool IsPlayerInGroup(const FString& eos_id, const FString& group) {
  return sim::face::IsPlayerInGroup(Text(eos_id), Text(group));
}

std::optional<std::string> AddPlayerToGroup(const FString& eos_id, const FString& group) {
  return AddMember(eos_id, group);
}

std::optional<std::string> RemovePlayerFromGroup(const FString& eos_id, const FString& group) {
  return RemoveMember(eos_id, group);
}

std::optional<std::string> AddPlayerToTimedGroup(const FString& eos_id, const FString& group,
                                                 int /*secs*/, int /*delaySecs*/) {
  return AddMember(eos_id, group);
}

std::optional<std::string> RemovePlayerFromTimedGroup(const FString& eos_id, const FString& group) {
  return RemoveMember(eos_id, group);
}

std::optional<std::string> AddGroup(const FString& group) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  if (!store.groups.emplace(Text(group), std::set<std::wstring>()).second) {
    return "Group already exists";
  }
  return std::nullopt;
}

std::optional<std::string> RemoveGroup(const FString& group) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  if (store.groups.erase(Text(group)) == 0) return "Group does not exist";
  return std::nullopt;
}

bool IsGroupHasPermission(const FString& group, const FString& permission) {
  return HasPermission(Text(group), Text(permission));
}

bool IsPlayerHasPermission(const FString& eos_id, const FString& permission) {
  for (const std::wstring& group : sim::face::PlayerGroups(Text(eos_id))) {
    if (HasPermission(group, Text(permission))) return true;
  }
  return false;
}

std::optional<std::string> GroupGrantPermission(const FString& group, const FString& permission) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  const auto found = store.groups.find(Text(group));
  if (found == store.groups.end()) return "Group does not exist";
  if (!found->second.insert(Text(permission)).second) return "Group already has this permission";
  return std::nullopt;
}

std::optional<std::string> GroupRevokePermission(const FString& group, const FString& permission) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  const auto found = store.groups.find(Text(group));
  if (found == store.groups.end()) return "Group does not exist";
  if (found->second.erase(Text(permission)) == 0) return "Group does not have this permission";
  return std::nullopt;
}

std::optional<std::string> AddTribeToGroup(int tribeId, const FString& group) {
  return AddTribe(tribeId, group);
}

std::optional<std::string> RemoveTribeFromGroup(int tribeId, const FString& group) {
  return RemoveTribe(tribeId, group);
}

std::optional<std::string> AddTribeToTimedGroup(int tribeId, const FString& group, int /*secs*/,
                                                int /*delaySecs*/) {
  return AddTribe(tribeId, group);
}

std::optional<std::string> RemoveTribeFromTimedGroup(int tribeId, const FString& group) {
  return RemoveTribe(tribeId, group);
}

bool IsTribeInGroup(int tribeId, const FString& group) {
  const std::vector<std::wstring> groups = TribeGroups(tribeId);
  return std::find(groups.begin(), groups.end(), Text(group)) != groups.end();
}

bool IsTribeHasPermission(int tribeId, const FString& permission) {
  for (const std::wstring& group : TribeGroups(tribeId)) {
    if (HasPermission(group, Text(permission))) return true;
  }
  return false;
}

TArray<FString> GetTribeGroups(int tribeId) { return Array(TribeGroups(tribeId)); }

void AddPlayerPermissionCallback(
    FString CallbackName, bool /*onlyCheckOnline*/, bool /*cacheBySteamId*/, bool /*cacheByTribe*/,
    const std::function<TArray<FString>(const FString&, int*)>& callback) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.player_callbacks[Text(CallbackName)] = callback;
}

void RemovePlayerPermissionCallback(FString CallbackName) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.player_callbacks.erase(Text(CallbackName));
}

void SubscribePermissionGroupUpdatedCallback(
    FString CallbackName, const std::function<void(const FString&, int)>& callback) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.updated[Text(CallbackName)] = callback;
}

void UnSubscribePermissionGroupUpdatedCallback(FString CallbackName) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.updated.erase(Text(CallbackName));
}

void SubscribePermissionGroupUpdatedDetailedCallback(
    FString CallbackName,
    const std::function<void(const FString&, int, const FString&, bool, bool, bool)>& callback) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.updated_detailed[Text(CallbackName)] = callback;
}

void UnSubscribePermissionGroupUpdatedDetailedCallback(FString CallbackName) {
  Store& store = TheStore();
  std::lock_guard lock(store.mutex);
  store.updated_detailed.erase(Text(CallbackName));
}

bool DB::IsPlayerExists(const FString& eos_id) {
  return !sim::face::PlayerGroups(Text(eos_id)).empty();
}

bool DB::IsGroupExists(const FString& group) { return GroupExists(Text(group)); }

}  // namespace Permissions
