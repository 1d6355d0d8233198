// The text of a player's position in the audit line and the embed: "X=%3.3f Y=%3.3f Z=%3.3f",
// as the host's printf writes it.
#pragma once

#include <string>

namespace quillmark {

// The position as the host's wide printf would write it with "X=%3.3f Y=%3.3f Z=%3.3f", byte
// for byte: finite values are written directly, correctly rounded to three decimals as printf
// rounds them; a value that is not finite goes through the host's printf, whose spelling of
// infinities and NaNs differs between hosts.
std::string PositionText(double x, double y, double z);

}  // namespace quillmark
