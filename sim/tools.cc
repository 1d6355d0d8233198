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

void AppendUnit(HostText& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<HostChar>(code_point));
  } else {
    code_point -= 0x10000;
    out.push_back(static_cast<HostChar>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<HostChar>(0xDC00 + (code_point & 0x3FF)));
  }
}

}  // namespace

void SetServerDir(const std::string& dir) {
  std::string absolute = std::filesystem::absolute(dir).lexically_normal().generic_string();
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  std::lock_guard lock(dir_mutex);
  ServerDir() = absolute;
}

HostText DecodeUtf8(const std::string& text) {
  constexpr char32_t kReplacement = 0xFFFD;
  HostText out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t code_point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      code_point = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code_point = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code_point = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code_point = lead & 0x07, minimum = 0x10000;
    } else {
      AppendUnit(out, kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    for (; j < text.size() && j <= i + static_cast<std::size_t>(extra); ++j) {
      const auto next = static_cast<unsigned char>(text[j]);
      if ((next & 0xC0) != 0x80) break;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    const bool complete = j == i + 1 + static_cast<std::size_t>(extra);
    if (!complete || code_point < minimum || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      AppendUnit(out, kReplacement);
      i = complete ? j : (j == i + 1 ? i + 1 : j);
      continue;
    }
    AppendUnit(out, code_point);
    i = j;
  }
  return out;
}

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
