// The platform's SHA-256 against the standard's known answers, on each build.
#include "host/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Sha256Test, GivesTheKnownAnswers) {
  struct Case {
    std::string bytes;
    const char* hex;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string("\0\xFF\n", 3), nullptr},
  };
  for (const Case& c : cases) {
    const std::string hex = host::Sha256Hex(c.bytes);
    ASSERT_EQ(hex.size(), 64u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
    if (c.hex != nullptr) {
      EXPECT_EQ(hex, c.hex) << c.bytes.size() << " bytes";
    }
  }
}

}  // namespace
