// The position's text without a printf for every command: printf's "%.3f" is the exact decimal
// value of the double, correctly rounded to three decimals, which is what std::to_chars writes in
// fixed notation with precision 3. (The "3" of "%3.3f" is a minimum width that "0.000" always
// exceeds.)
#include "audit/position.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "host/host_text.h"

namespace quillmark {

std::string PositionText(double x, double y, double z) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
    return FStringToNarrow(FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), x, y, z));
  }
  // The longest is 309 integer digits, a sign, a point and three decimals, three times.
  char buffer[3 * 320];
  char* at = buffer;
  char* const end = buffer + sizeof buffer;
  for (const auto& [name, value] :
       {std::pair{std::string_view("X="), x}, std::pair{std::string_view(" Y="), y},
        std::pair{std::string_view(" Z="), z}}) {
    at = std::copy(name.begin(), name.end(), at);
    at = std::to_chars(at, end, value, std::chars_format::fixed, 3).ptr;
  }
  return {buffer, at};
}

}  // namespace quillmark
