// The engine's FString members, as the game provides them to plugins: every buffer from the
// engine allocator, counts that include the terminating zero, the empty text without a buffer.
#include <cstring>

#include "host/host.h"

namespace {

const HostChar kEmptyText[1] = {0};

std::int32_t UnitLength(const HostChar* text) {
  std::int32_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

HostChar FoldAscii(HostChar unit) {
  return (unit >= 'a' && unit <= 'z') ? static_cast<HostChar>(unit - ('a' - 'A')) : unit;
}

// Compares at most `count` units, stopping after a zero unit; `fold` folds ASCII letters.
std::int32_t CompareUnits(const HostChar* a, const HostChar* b, std::size_t count, bool fold) {
  for (std::size_t i = 0; i < count; ++i) {
    const HostChar ua = fold ? FoldAscii(a[i]) : a[i];
    const HostChar ub = fold ? FoldAscii(b[i]) : b[i];
    if (ua != ub) return static_cast<std::int32_t>(ua) - static_cast<std::int32_t>(ub);
    if (ua == 0) return 0;
  }
  return 0;
}

// The first occurrence of `needle` in `text` at or after `text`, or null.
const HostChar* FindUnits(const HostChar* text, const HostChar* needle, std::int32_t needle_len) {
  for (; *text != 0; ++text) {
    std::int32_t i = 0;
    while (i < needle_len && text[i] == needle[i]) ++i;
    if (i == needle_len) return text;
  }
  return nullptr;
}

}  // namespace

FString::FString(const char* text) {
  if (text == nullptr || *text == 0) return;
  const auto length = static_cast<std::int32_t>(std::strlen(text));
  data_.AddUninitialized(length + 1);
  for (std::int32_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    data_[i] = byte < 0x80 ? static_cast<HostChar>(byte) : HostChar('?');
  }
  data_[length] = 0;
}

FString::FString(const HostChar* text) {
  if (text == nullptr || *text == 0) return;
  const std::int32_t length = UnitLength(text);
  data_.AddUninitialized(length + 1);
  std::memcpy(data_.GetData(), text, sizeof(HostChar) * static_cast<std::size_t>(length + 1));
}

FString::FString(std::int32_t count, const HostChar* text) {
  if (count <= 0 || text == nullptr) return;
  data_.AddUninitialized(count + 1);
  // Like the engine's bounded copy: stops at a zero unit and pads with zeros.
  std::int32_t i = 0;
  for (; i < count && text[i] != 0; ++i) data_[i] = text[i];
  for (; i <= count; ++i) data_[i] = 0;
}

FString::FString(const FString& other) {
  if (other.data_.Num() == 0) return;
  data_.AddUninitialized(other.data_.Num());
  std::memcpy(data_.GetData(), other.data_.GetData(),
              sizeof(HostChar) * static_cast<std::size_t>(other.data_.Num()));
}

FString::FString(FString&& other) noexcept : data_(std::move(other.data_)) {}

FString& FString::operator=(const FString& other) {
  if (this != &other) {
    FString copy(other);
    data_ = std::move(copy.data_);
  }
  return *this;
}

FString& FString::operator=(FString&& other) noexcept {
  data_ = std::move(other.data_);
  return *this;
}

FString::~FString() = default;

std::int32_t FString::Len() const { return data_.Num() > 0 ? data_.Num() - 1 : 0; }

const HostChar* FString::operator*() const {
  return data_.Num() > 0 ? data_.GetData() : kEmptyText;
}

void FString::AssignRange(const HostChar* text, std::int32_t count) {
  // Built apart first: `text` may point into this very buffer.
  TArray<HostChar> fresh;
  if (count > 0) {
    fresh.AddUninitialized(count + 1);
    std::memcpy(fresh.GetData(), text, sizeof(HostChar) * static_cast<std::size_t>(count));
    fresh[count] = 0;
  }
  data_ = std::move(fresh);
}

FString& FString::operator=(const HostChar* text) {
  AssignRange(text, text == nullptr ? 0 : UnitLength(text));
  return *this;
}

void FString::Empty() { data_.Empty(); }

std::int32_t FString::ParseIntoArray(TArray<FString>& out, const HostChar* delimiter,
                                     bool cull_empty) const {
  out.Reset();
  const HostChar* start = **this;
  const std::int32_t delimiter_len = delimiter == nullptr ? 0 : UnitLength(delimiter);
  if (*start != 0 && delimiter_len > 0) {
    while (const HostChar* at = FindUnits(start, delimiter, delimiter_len)) {
      if (!cull_empty || at - start > 0) {
        out.Emplace(static_cast<std::int32_t>(at - start), start);
      }
      start = at + delimiter_len;
    }
    if (!cull_empty || *start != 0) out.Emplace(start);
  }
  return out.Num();
}

bool FString::RemoveFromStart(const FString& prefix, ESearchCase::Type search_case) {
  if (prefix.IsEmpty()) return false;
  const auto length = static_cast<std::size_t>(prefix.Len());
  if (CompareUnits(**this, *prefix, length, search_case == ESearchCase::IgnoreCase) != 0) {
    return false;
  }
  data_.RemoveAt(0, prefix.Len());
  return true;
}

std::int32_t FGenericPlatformStricmp::Strnicmp(const HostChar* a, const HostChar* b,
                                               std::size_t count) {
  return CompareUnits(a, b, count, true);
}
