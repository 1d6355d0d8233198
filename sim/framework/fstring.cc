// The engine's FString members that the framework exports. The engine's text semantics live
// once, in the world (sim/fstring.cc); these hand the object over to them by its layout.
#include "sim/framework/framework.h"

static_assert(sizeof(FString) == sizeof(standin::Text), "FString is the engine's text");

FString::FString(const ANSICHAR* Str) { sim::face::TextFromNarrow(standin::AsText(this), Str); }

FString::FString(const WIDECHAR* Str) { sim::face::TextFromWide(standin::AsText(this), Str); }

void FString::AssignRange(const TCHAR* Str, int32 Len) {
  sim::face::TextAssign(standin::AsText(this), Str, Len);
}

void FString::Empty() { sim::face::TextEmpty(standin::AsText(this)); }

bool FString::RemoveFromStart(const TCHAR* InPrefix, int32 InPrefixLen,
                              ESearchCase::Type SearchCase) {
  if (InPrefix == nullptr || InPrefixLen <= 0) return false;
  const FString prefix(InPrefixLen, InPrefix);
  return sim::face::TextRemoveFromStart(standin::AsText(this), standin::AsText(prefix),
                                        SearchCase == ESearchCase::IgnoreCase);
}

FString::FString(int32 Len, const WIDECHAR* Str) {
  sim::face::TextAssign(standin::AsText(this), Str, Str != nullptr && Len > 0 ? Len : 0);
}

bool FString::RemoveFromEnd(const TCHAR* InSuffix, int32 InSuffixLen,
                            ESearchCase::Type SearchCase) {
  if (InSuffix == nullptr || InSuffixLen <= 0) return false;
  const FString suffix(InSuffixLen, InSuffix);
  return sim::face::TextRemoveFromEnd(standin::AsText(this), standin::AsText(suffix),
                                      SearchCase == ESearchCase::IgnoreCase);
}

void FString::AppendChars(const WIDECHAR* Str, int32 Count) {
  sim::face::TextAppend(standin::AsText(this), Str, Count);
}
