// Keys given more than once in one object of config.json. The JSON library keeps the last value
// of a repeated key without a word, so the plugin silently passes over the others; the checker
// finds them in the file's text.
#pragma once

#include <string>
#include <vector>

namespace quillmark::tools {

// The JSON Pointer of every repeat of a key in one object (each one after its first), in the
// order of the text. The text is read as the plugin reads it: after a byte order mark, up to the
// end of its first value. A text that is not JSON gives what was found before the error.
std::vector<std::string> RepeatedKeys(const std::string& text);

}  // namespace quillmark::tools
