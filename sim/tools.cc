// The framework's small tools in the simulated host: the server folder and UTF-8 decoding.
#include <filesystem>
#include <mutex>
#include <string>

#include "host/unicode.h"
#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

std::mutex dir_mutex;
std::string& ServerDir() {
  static auto* dir = new std::string();
  return *dir;
}

}  // namespace

void SetServerDir(const std::string& dir) {
  std::string absolute = std::filesystem::absolute(dir).lexically_normal().generic_string();
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  std::lock_guard lock(dir_mutex);
  ServerDir() = absolute;
}

HostText DecodeUtf8(const std::string& text) { return host::Utf8ToUtf16<HostChar>(text); }

std::string EncodeUtf8(const HostText& text) { return host::Utf16ToUtf8(text.data(), text.size()); }

std::string Utf8(const HostText& text) { return EncodeUtf8(text); }

}  // namespace sim

std::string AsaApi::Tools::GetCurrentDir() {
  std::lock_guard lock(sim::dir_mutex);
  if (sim::ServerDir().empty()) {
    sim::ServerDir() = std::filesystem::current_path().generic_string();
  }
  return sim::ServerDir();
}

HostText AsaApi::Tools::Utf8Decode(const std::string& text) { return sim::DecodeUtf8(text); }
