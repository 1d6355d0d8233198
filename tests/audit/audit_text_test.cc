// The audit's text rules on their own: letter case, visible control characters, hidden secrets.
#include "audit/audit_text.h"

#include <gtest/gtest.h>

namespace {

using quillmark::EscapeControl;
using quillmark::HideSecrets;
using quillmark::Lower;

TEST(AuditTextTest, LowerTouchesOnlyAsciiLetters) {
  EXPECT_EQ(Lower("GiveItem[]@Z\xC3\x89"), "giveitem[]@z\xC3\x89");
}

TEST(AuditTextTest, EscapeControlMakesEveryControlByteVisible) {
  EXPECT_EQ(EscapeControl(std::string("a\x01\x1F\x7F\n\tb\0c", 9)),
            "a\\x01\\x1F\\x7F\\x0A\\x09b\\x00c");
  EXPECT_EQ(EscapeControl("plain {} \\x0A"), "plain {} \\x0A");
}

struct SecretCase {
  const char* command;
  const char* shown;
};

class HideSecretsTest : public ::testing::TestWithParam<SecretCase> {};

TEST_P(HideSecretsTest, HidesOnlyTheArgumentsOfEnableCheats) {
  EXPECT_EQ(HideSecrets(GetParam().command), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Commands, HideSecretsTest,
                         ::testing::Values(SecretCase{"EnableCheats pw", "EnableCheats ***"},
                                           SecretCase{"enablecheats a b c", "enablecheats ***"},
                                           SecretCase{" \tENABLECHEATS\tpw", " \tENABLECHEATS ***"},
                                           SecretCase{"EnableCheats", "EnableCheats"},
                                           SecretCase{"EnableCheats   ", "EnableCheats   "},
                                           SecretCase{"EnableCheatsX pw", "EnableCheatsX pw"},
                                           SecretCase{"say EnableCheats pw", "say EnableCheats pw"},
                                           SecretCase{"", ""}));

}  // namespace
