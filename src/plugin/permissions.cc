// Asking the Permissions plugin for a player's groups through its library's export, found by
// name at every question.
#include "plugin/permissions.h"

#include <exception>

#include "base/logger.h"
#include "host/host.h"
#include "host/host_text.h"

namespace quillmark {
namespace {

// "TArray<FString> Permissions::GetPlayerGroups(const FString& eos_id)", by the name its library
// exports it under.
constexpr char kGetPlayerGroups[] =
    "?GetPlayerGroups@Permissions@@YA?AV?$TArray@VFString@@V?$TSizedDefaultAllocator@$0CA@@@@@"
    "AEBVFString@@@Z";
using GetPlayerGroupsFn = TArray<FString> (*)(const FString&);

// What the last question found; the game thread's alone.
enum class Seen { kNothingYet, kLoaded, kAbsent };
Seen seen = Seen::kNothingYet;

void Notice(bool loaded) noexcept {
  const Seen now = loaded ? Seen::kLoaded : Seen::kAbsent;
  const bool tell = loaded ? seen == Seen::kAbsent : seen != Seen::kAbsent;
  seen = now;
  if (!tell) return;
  try {
    LogWarning(loaded ? "The Permissions plugin is loaded: admins entries with \"groups\" grant "
                        "again"
                      : "The Permissions plugin is not loaded: admins entries with \"groups\" "
                        "grant nothing until it is");
  } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the warning line
  }
}

}  // namespace

std::optional<std::vector<std::string>> PermissionsGroups(std::string_view eos_id) noexcept {
  try {
    const auto get_groups =
        reinterpret_cast<GetPlayerGroupsFn>(host::FindPermissionsExport(kGetPlayerGroups));
    Notice(get_groups != nullptr);
    if (get_groups == nullptr) return std::nullopt;
    const FString id(AsaApi::Tools::Utf8Decode(std::string(eos_id)).c_str());
    const TArray<FString> groups = get_groups(id);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(groups.Num()));
    for (const FString& group : groups) names.push_back(FStringToUtf8(group));
    return names;
  } catch (const std::exception& e) {
    LogFailure("Could not ask the Permissions plugin for a player's groups", e.what());
  } catch (...) {
    LogFailure("Could not ask the Permissions plugin for a player's groups", "unknown error");
  }
  return std::nullopt;
}

}  // namespace quillmark
