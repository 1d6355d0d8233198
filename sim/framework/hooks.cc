// The framework's hook table: detours chained in front of game functions by the world's hook
// chain, the last installed running first, each owned by the module its code lies in. What the
// world's table does, this face does: a second installation is not refused, a failed one nulls
// the saved entry, a failed removal leaves the detour, and the faults a test sets apply here too.
#include "sim/framework/framework.h"

namespace {

class Hooks final : public AsaApi::IHooks {
 public:
  bool DisableHook(const std::string& func_name, LPVOID detour) override {
    return sim::face::RemoveHook(func_name, detour);
  }

 private:
  bool SetHookInternal(const std::string& func_name, LPVOID detour, LPVOID* original) override {
    return sim::face::InstallHook(func_name, detour, original);
  }
};

}  // namespace

AsaApi::IHooks& AsaApi::GetHooks() {
  static auto* hooks = new Hooks();
  return *hooks;
}
