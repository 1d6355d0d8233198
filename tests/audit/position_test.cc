// The position's text is byte for byte what the host's wide printf writes, for every double:
// special values, values at the edges of rounding, and random bit patterns and magnitudes.
#include "audit/position.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "host/host_text.h"
#include "support/host_support.h"

namespace quillmark {
namespace {

std::string ByPrintf(double x, double y, double z) {
  return FStringToNarrow(FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), x, y, z));
}

TEST(PositionTextTest, IsWhatTheWidePrintfWritesForEveryDouble) {
  if (!quillmark::testing::PrintfRoundsTiesToEven()) {
    GTEST_SKIP() << "this runtime's printf rounds exact ties away from zero, as no current "
                    "server's does; the position's text rounds them to even";
  }
  using limits = std::numeric_limits<double>;
  std::vector<double> values = {0.0,
                                -0.0,
                                1500.25,
                                -320.0,
                                12.125,
                                0.0005,
                                0.0015,
                                0.0025,
                                -0.0005,
                                0.00049999999,
                                2.0005,
                                1e-320,
                                -1e-320,
                                limits::min(),
                                limits::denorm_min(),
                                1e17,
                                123456789.1235,
                                9007199254740993.0,
                                1e300,
                                -1e300,
                                limits::max(),
                                limits::lowest(),
                                limits::infinity(),
                                -limits::infinity(),
                                limits::quiet_NaN(),
                                -limits::quiet_NaN()};
  std::mt19937_64 random(1208);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(std::bit_cast<double>(random()));  // any bit pattern, NaNs included
    const double magnitude = std::ldexp(1.0, static_cast<int>(random() % 120) - 40);
    // Near the game's coordinates, and on the halfway points of the third decimal.
    values.push_back(magnitude * std::uniform_real_distribution<double>(-1, 1)(random));
    values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000) /
                         1000.0 +
                     0.0005);
  }
  int checked = 0;
  for (std::size_t i = 0; i + 2 < values.size(); i += 3) {
    for (const auto& [x, y, z] : {std::tuple{values[i], values[i + 1], values[i + 2]},
                                  std::tuple{values[i + 2], values[i], values[i + 1]}}) {
      ASSERT_EQ(PositionText(x, y, z), ByPrintf(x, y, z))
          << std::hexfloat << x << " " << y << " " << z;
      ++checked;
    }
  }
  for (const double value : values) {
    ASSERT_EQ(PositionText(value, value, value), ByPrintf(value, value, value))
        << std::hexfloat << value;
  }
  EXPECT_GT(checked, 40000);
}

}  // namespace
}  // namespace quillmark
