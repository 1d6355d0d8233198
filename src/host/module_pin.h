// Keeping the plugin's own library loaded while its code may still run. The framework can
// unload the plugin in the middle of the plugin's own console-command detour (a player types
// "plugins.unload quillmark"): the detour calls on into the framework's, which unloads the
// library synchronously, and would then return into code that is gone. But a library kept
// loaded when nothing of it runs is harmful too: the framework's automatic reload copies the
// new file over the DLL right after the unload, which Windows refuses while the image is still
// mapped, and the plugin then stays unloaded until the server restarts.
#pragma once

namespace host {

// Marks the plugin's own code as running for as long as it lives: made first thing in every
// detour and command callback the host calls, so that an unload from inside one of them knows
// that the library must outlive it. Any thread; the mark counts every thread.
class CodeOnStack {
 public:
  CodeOnStack() noexcept;
  ~CodeOnStack() noexcept;
  CodeOnStack(const CodeOnStack&) = delete;
  CodeOnStack& operator=(const CodeOnStack&) = delete;

  // Whether any detour or command callback of the plugin is running now.
  static bool Any() noexcept;
};

// One more reference to the library that holds the plugin's code, taken when made. Game
// thread.
class ModulePin {
 public:
  ModulePin();
  ModulePin(const ModulePin&) = delete;
  ModulePin& operator=(const ModulePin&) = delete;
  // Gives the reference back at once, unless ReleaseLater was called.
  ~ModulePin();

  // For when the framework unloaded the plugin while the pin was held: the pin's reference is
  // then the library's last, and giving it back here would unmap the code that called this.
  // Instead the host's thread pool gives it back a few seconds from now, from the pool's own
  // code, long after the caller has returned. If the plugin is loaded again in the meantime,
  // the loader finds the library still loaded and only counts one more reference.
  void ReleaseLater();

 private:
  void* module_ = nullptr;
  bool later_ = false;
};

// Takes one more reference to the library that holds the plugin's code and never gives it back,
// so that the library stays loaded until the process ends: for code the game may still call
// after the framework has freed the plugin (a hook it could not take off). Nothing when the code
// is not in a library the loader counts. Game thread.
void KeepLoadedForGood();

}  // namespace host
