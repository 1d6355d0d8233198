// The stand-in server on Windows.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "sim/server/platform.h"
#include "tools/program.h"

namespace sim::server {
namespace {

std::wstring Wide(const std::string& text) { return AsaApi::Tools::Utf8Decode(text); }

}  // namespace

std::string DefaultPluginPath() {
  const std::u8string path = (quillmark::tools::ProgramFolder() / L"quillmark.dll").u8string();
  return {path.begin(), path.end()};
}

bool StartFramework(std::string& error) {
  const std::wstring path = (quillmark::tools::ProgramFolder() / L"AsaApi.dll").wstring();
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
