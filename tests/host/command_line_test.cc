// The Windows command-line split that the server label depends on: the rules of Windows'
// documentation for CommandLineToArgvW, including its special program name.
#include <gtest/gtest.h>

#include <vector>

#include "support/host_support.h"

namespace {

using quillmark::testing::Host;

std::vector<HostText> Split(const HostText& line) {
  int count = -1;
  HostChar** argv = CommandLineToArgvW(line.c_str(), &count);
  EXPECT_NE(argv, nullptr);
  std::vector<HostText> args;
  for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
  EXPECT_EQ(argv[count], nullptr);
  EXPECT_EQ(LocalFree(argv), nullptr);
  return args;
}

struct SplitCase {
  const char* name;
  const char* line;  // UTF-8, after the program name "prog "
  std::vector<const char*> args;
};

class CommandLineToArgvTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineToArgvTest, SplitsByWindowsRules) {
  const SplitCase& c = GetParam();
  const auto args = Split(Host(std::string("prog ") + c.line));
  ASSERT_EQ(args.size(), c.args.size() + 1);
  EXPECT_EQ(args[0], HOST_TEXT("prog"));
  for (std::size_t i = 0; i < c.args.size(); ++i) EXPECT_EQ(args[i + 1], Host(c.args[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Documented, CommandLineToArgvTest,
    ::testing::Values(
        SplitCase{"quoted_first", R"("abc" d e)", {"abc", "d", "e"}},
        SplitCase{"backslashes_without_quote", R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
        SplitCase{"odd_backslashes_quote", R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        SplitCase{"even_backslashes_quote", R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        SplitCase{"escaped_quote_inside", R"("ab\"c" "\\" d)", {R"(ab"c)", R"(\)", "d"}},
        SplitCase{"quoted_value_with_space",
                  R"("-serverkey=My Server" -log)",
                  {"-serverkey=My Server", "-log"}},
        SplitCase{"quote_in_the_middle", R"(-serverkey="My Server")", {"-serverkey=My Server"}},
        SplitCase{"empty_quoted_argument", R"(a "" b)", {"a", "", "b"}},
        SplitCase{"tabs_and_trailing_blanks", "a\t b  \t", {"a", "b"}},
        SplitCase{"three_quotes_give_one", R"(""""")", {"\""}},
        SplitCase{"doubled_quote_closes", R"(a"b"" c d)", {"ab\"", "c", "d"}},
        SplitCase{
            "non_ascii", "caf\xC3\xA9 \xF0\x9F\x98\x80", {"caf\xC3\xA9", "\xF0\x9F\x98\x80"}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(CommandLineTest, ProgramNameHasNoEscapes) {
  EXPECT_EQ(Split(Host(R"("C:\Program Files\srv.exe" -a)")),
            (std::vector<HostText>{Host(R"(C:\Program Files\srv.exe)"), HOST_TEXT("-a")}));
  EXPECT_EQ(Split(Host(R"(C:\srv\"x y)")),
            (std::vector<HostText>{Host(R"(C:\srv\"x)"), HOST_TEXT("y")}));
  EXPECT_EQ(Split(Host("prog")), (std::vector<HostText>{HOST_TEXT("prog")}));
}

TEST(CommandLineTest, EmptyLineStandsForTheProgramAlone) {
  const auto args = Split(HostText());
  ASSERT_EQ(args.size(), 1u);
  EXPECT_FALSE(args[0].empty());
}

}  // namespace
