// Masking URLs. A slash may be written in any of the ways JSON and JSON Pointers write one, so
// the scan measures a slash where it stands instead of looking for the character.
#include "base/url_mask.h"

#include <cctype>
#include <cstring>

namespace quillmark {
namespace {

constexpr std::string_view kMask = "****";

// The length of the slash written at `text[i]` ("/", "\/", "\u002F", "~1"); 0 when none is.
std::size_t SlashAt(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  if (text[i] == '/') return 1;
  const std::string_view rest = text.substr(i);
  if (rest.starts_with("\\/") || rest.starts_with("~1")) return 2;
  if (rest.size() >= 6 && rest.starts_with("\\u002") && (rest[5] == 'F' || rest[5] == 'f')) {
    return 6;
  }
  return 0;
}

// Where the URL that goes on at `i` ends.
std::size_t UrlEnd(std::string_view text, std::size_t i) {
  while (i < text.size()) {
    if (const std::size_t slash = SlashAt(text, i)) {
      i += slash;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == 0x7F || std::strchr("\"'<>\\`,[]{}|", c) != nullptr) break;
    ++i;
  }
  return i;
}

// The next slash at or after `i` and before `end`: where it starts, and its length.
std::pair<std::size_t, std::size_t> NextSlash(std::string_view text, std::size_t i,
                                              std::size_t end) {
  for (; i < end; ++i) {
    if (const std::size_t slash = SlashAt(text, i)) return {i, slash};
  }
  return {end, 0};
}

// The length of "://" (slashes in any form) at `text[i]`; 0 when none is there.
std::size_t SchemeMarkAt(std::string_view text, std::size_t i) {
  if (i >= text.size() || text[i] != ':') return 0;
  const std::size_t first = SlashAt(text, i + 1);
  const std::size_t second = first == 0 ? 0 : SlashAt(text, i + 1 + first);
  return second == 0 ? 0 : 1 + first + second;
}

// Where the token starts when `text[i]` starts "/webhooks/<id>/" (slashes in any form); 0 when
// it does not.
std::size_t TokenAfterWebhooks(std::string_view text, std::size_t i) {
  const std::size_t first = SlashAt(text, i);
  if (first == 0 || text.compare(i + first, 8, "webhooks") != 0) return 0;
  const std::size_t second = SlashAt(text, i + first + 8);
  if (second == 0) return 0;
  const std::size_t id = i + first + 8 + second;
  const auto [slash, length] = NextSlash(text, id, UrlEnd(text, id));
  return length == 0 ? 0 : slash + length;
}

// The URL text[start, end) with "scheme://" at `mark`: the user part of its host masked, and
// what follows the webhook's id (or the host) when anything does.
std::string MaskUrl(std::string_view text, std::size_t start, std::size_t mark, std::size_t end) {
  const std::size_t host = mark + SchemeMarkAt(text, mark);
  const auto [path, slash] = NextSlash(text, host, end);
  std::string out(text.substr(start, host - start));
  const std::string_view authority = text.substr(host, path - host);
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    out.append(kMask).append(authority.substr(at));
  } else {
    out.append(authority);
  }
  if (slash == 0) return out;
  std::size_t kept = path + slash;
  for (std::size_t i = path; i < end; ++i) {
    if (const std::size_t token = TokenAfterWebhooks(text, i)) {
      kept = token;
      break;
    }
  }
  out.append(text.substr(path, kept - path));
  if (kept < end) out.append(kMask);
  return out;
}

}  // namespace

std::string MaskWebhook(std::string_view url) {
  const std::size_t mark = url.find("://");
  if (mark == std::string_view::npos || NextSlash(url, mark + 3, url.size()).second == 0) {
    return std::string(kMask);  // nothing in it is known to be safe to show
  }
  return MaskUrl(url, 0, mark, url.size());
}

std::string MaskUrlsIn(std::string_view text) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (SchemeMarkAt(text, i) != 0) {
      std::size_t start = i;
      while (start > copied && (std::isalnum(static_cast<unsigned char>(text[start - 1])) ||
                                std::strchr("+.-", text[start - 1]) != nullptr)) {
        --start;
      }
      const std::size_t end = UrlEnd(text, i + SchemeMarkAt(text, i));
      out.append(text.substr(copied, start - copied)).append(MaskUrl(text, start, i, end));
      copied = i = end;
      continue;
    }
    // A webhook's path without its scheme and host (a quote cut short, a JSON Pointer).
    if (const std::size_t token = TokenAfterWebhooks(text, i)) {
      const std::size_t end = UrlEnd(text, token);
      out.append(text.substr(copied, token - copied));
      if (token < end) out.append(kMask);
      copied = i = end;
      continue;
    }
    ++i;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace quillmark
