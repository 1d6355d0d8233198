// The framework's small tools: the server's folder (with backslashes, as Windows gives module
// paths), UTF-8 conversions, whether a plugin is loaded, and the framework's version.
#include <algorithm>

#include "sim/framework/framework.h"

std::string AsaApi::Tools::GetCurrentDir() {
  std::string dir = sim::face::ServerDir();
  std::replace(dir.begin(), dir.end(), '/', '\\');
  return dir;
}

std::string AsaApi::Tools::Utf8Encode(const std::wstring& wstr) {
  return sim::face::EncodeUtf8(wstr);
}

std::wstring AsaApi::Tools::Utf8Decode(const std::string& str) {
  return sim::face::DecodeUtf8(str);
}

bool AsaApi::Tools::IsPluginLoaded(const std::string& plugin_name) {
  return sim::face::IsPluginLoaded(plugin_name);
}

float AsaApi::Tools::GetApiVersion() { return 2.03F; }
