// The stand-in server on Windows.
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "sim/server/platform.h"

namespace sim::server {
namespace {

std::wstring Wide(const std::string& text) { return AsaApi::Tools::Utf8Decode(text); }

std::string Narrow(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

// A file beside the running program.
std::wstring Beside(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  const std::wstring path(buffer, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::string DefaultPluginPath() { return Narrow(Beside(L"quillmark.dll").c_str()); }

bool StartFramework(std::string& error) {
  const std::wstring path = Beside(L"AsaApi.dll");
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  // Loaded for the life of the process, as the framework is in the server.
  HMODULE framework = LoadLibraryW(path.c_str());
  if (framework == nullptr) {
    error = "cannot load AsaApi.dll (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  using InitFn = void (*)();
  const auto init = reinterpret_cast<InitFn>(GetProcAddress(framework, "InitApi"));
  if (init == nullptr) {
    error = "AsaApi.dll has no InitApi";
    return false;
  }
  init();
  return true;
}

bool IsLoadableFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

}  // namespace sim::server
