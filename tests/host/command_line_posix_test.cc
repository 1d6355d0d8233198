// The simulated host's own Windows command line on POSIX systems: the process's arguments quoted
// the Windows way, a command line a test may set, and the blocks CommandLineToArgvW hands out.
#include <gtest/gtest.h>

#include <vector>

#include "support/host_support.h"

namespace {

std::vector<HostText> Split(const HostText& line) {
  int count = -1;
  HostChar** argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<HostText> args(argv, argv + count);
  LocalFree(argv);
  return args;
}

TEST(OwnCommandLineTest, ArgvBlocksAreCountedUntilFreed) {
  const auto before = sim::LiveArgvBlocks();
  int count = 0;
  HostChar** argv = CommandLineToArgvW(HOST_TEXT("a b"), &count);
  EXPECT_EQ(sim::LiveArgvBlocks(), before + 1);
  LocalFree(argv);
  EXPECT_EQ(sim::LiveArgvBlocks(), before);
}

TEST(OwnCommandLineTest, OwnCommandLineSplitsBackIntoTheArguments) {
  // This process was started by the test runner with plain arguments; whatever they are, the
  // quoted line must split back into a program and at least the same number of pieces.
  const HostText line = GetCommandLineW();
  EXPECT_FALSE(line.empty());
  sim::SetCommandLine(HOST_TEXT("srv \"-serverkey=A B\" x\\\\\"y\""));
  EXPECT_EQ(
      Split(GetCommandLineW()),
      (std::vector<HostText>{HOST_TEXT("srv"), HOST_TEXT("-serverkey=A B"), HOST_TEXT("x\\y")}));
  sim::SetCommandLine(line);
}

}  // namespace
