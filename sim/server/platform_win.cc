// The stand-in server on Windows: the plugin through LoadLibraryW and FreeLibrary, as the
// framework loads it.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "host/host.h"
#include "sim/server/platform.h"

namespace sim::server {
namespace {

std::wstring Wide(const std::string& text) { return AsaApi::Tools::Utf8Decode(text); }

}  // namespace

LoadResult PluginLibrary::Load(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryW(Wide(path).c_str());
  if (module == nullptr) {
    const DWORD code = GetLastError();
    if (code == ERROR_DLL_INIT_FAILED) {
      error = "its start-up failed (error 1114); see the server log";
      return LoadResult::kStartFailed;
    }
    error = "LoadLibraryW failed with error " + std::to_string(code);
    return LoadResult::kNotLoadable;
  }
  handle_ = module;
  return LoadResult::kLoaded;
}

void PluginLibrary::Unload() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

std::string DefaultPluginPath() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, length);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"quillmark.dll";
  const int size = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, narrow.data(), size, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(size > 0 ? size - 1 : 0));
  return narrow;
}

bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

}  // namespace sim::server
