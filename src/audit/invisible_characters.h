// The characters an audit text never shows as they are, because nobody sees them or because they
// make a line read otherwise than it holds: Unicode's default-ignorable code points (zero-width
// characters, joiners, fillers, tag characters, variation selectors), its bidirectional
// controls, the controls and the line and paragraph separators. The table is made from Unicode's
// own data files when the build is configured (cmake/InvisibleCharacters.cmake).
#pragma once

#include <span>

namespace quillmark {

// A range of code points, both ends included.
struct CodeRange {
  char32_t first;
  char32_t last;
};

// Every invisible character, as ranges sorted by code point, neither overlapping nor adjacent.
std::span<const CodeRange> InvisibleRanges();

}  // namespace quillmark
