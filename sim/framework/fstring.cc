// The engine's FString members that the framework exports. The engine's text semantics live
// once, in the world (sim/fstring.cc); these hand the object over to them by its layout.
#include "sim/framework/framework.h"

static_assert(sizeof(FString) == sizeof(standin::Text), "FString is the engine's text");

namespace {

using RemoveFn = bool (*)(standin::Text*, const standin::Text&, bool);

// Takes `count` units of `affix` off one end of `text` by `remove`, when they are there; an
// empty affix is never there.
bool RemoveAffix(FString* text, const TCHAR* affix, int32 count, ESearchCase::Type search_case,
                 RemoveFn remove) {
  if (affix == nullptr || count <= 0) return false;
  const FString part(count, affix);
  return remove(standin::AsText(text), standin::AsText(part),
                search_case == ESearchCase::IgnoreCase);
}

}  // namespace

FString::FString(const ANSICHAR* Str) { sim::face::TextFromNarrow(standin::AsText(this), Str); }

FString::FString(const WIDECHAR* Str) { sim::face::TextFromWide(standin::AsText(this), Str); }

void FString::AssignRange(const TCHAR* Str, int32 Len) {
  sim::face::TextAssign(standin::AsText(this), Str, Len);
}

void FString::Empty() { sim::face::TextEmpty(standin::AsText(this)); }

bool FString::RemoveFromStart(const TCHAR* InPrefix, int32 InPrefixLen,
                              ESearchCase::Type SearchCase) {
  return RemoveAffix(this, InPrefix, InPrefixLen, SearchCase, &sim::face::TextRemoveFromStart);
}

FString::FString(int32 Len, const WIDECHAR* Str) {
  sim::face::TextAssign(standin::AsText(this), Str, Str != nullptr && Len > 0 ? Len : 0);
}

bool FString::RemoveFromEnd(const TCHAR* InSuffix, int32 InSuffixLen,
                            ESearchCase::Type SearchCase) {
  return RemoveAffix(this, InSuffix, InSuffixLen, SearchCase, &sim::face::TextRemoveFromEnd);
}

void FString::AppendChars(const WIDECHAR* Str, int32 Count) {
  sim::face::TextAppend(standin::AsText(this), Str, Count);
}
