// Finding the server label. The option is looked for in the arguments exactly as the Windows
// command-line split delivers them (command_line.h).
#include "audit/server_label.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "audit/audit_text.h"
#include "audit/command_line.h"
#include "host/host_text.h"

namespace quillmark {
namespace {

// The kept label, and its shown text; their buffers are given back when the plugin is unloaded.
// They live in storage that is never destroyed: at the process's end, which unloads no plugin,
// a destructor would hand the label's buffer to the engine's allocator through the framework.
struct Kept {
  FString label;
  std::string shown;
};
Kept& TheKept() {
  alignas(Kept) static unsigned char storage[sizeof(Kept)];
  static Kept* kept = new (storage) Kept();
  return *kept;
}
FString& LabelCache() { return TheKept().label; }

// Replaces `label` with the value of the first argument that begins with "-serverkey=" in any
// letter case; leaves it alone when there is none.
void TakeServerKeyOption(FString& label) {
  const FString prefix(HOST_TEXT("-serverkey="));
  ForEachCommandLineArgument([&](const HostChar* units) {
    FString argument(units);
    if (!argument.RemoveFromStart(prefix, ESearchCase::IgnoreCase)) return false;
    label = argument;  // a copy holds exactly its text
    return true;
  });
}

}  // namespace

FString GetServerLabel() {
  FString& cache = LabelCache();
  if (cache.GetCharArray().Num() >= 2) return cache;

  FString label;
  AShooterGameMode* game_mode = host::CurrentGameMode();
  if (game_mode != nullptr) {
    using GetMapNameFn = FString* (*)(AShooterGameMode*, FString*);
    reinterpret_cast<GetMapNameFn>(GetAddress("AShooterGameMode.GetMapName()"))(game_mode, &label);
  }
  TakeServerKeyOption(label);
  // Without a game mode the map is not known yet: keep nothing, so that the label is found
  // again once the world exists.
  if (game_mode != nullptr) {
    cache = label;
    TheKept().shown = EscapeForDisplay(FStringToUtf8(label));
  }
  return label;
}

const std::string& ShownServerLabel() {
  Kept& kept = TheKept();
  if (kept.label.GetCharArray().Num() >= 2) return kept.shown;
  const FString label = GetServerLabel();
  if (kept.label.GetCharArray().Num() >= 2) return kept.shown;
  static std::string unkept;  // not kept yet: found afresh on every call
  unkept = EscapeForDisplay(FStringToUtf8(label));
  return unkept;
}

void ForgetServerLabel() {
  LabelCache().Empty();
  std::string().swap(TheKept().shown);
}

}  // namespace quillmark
