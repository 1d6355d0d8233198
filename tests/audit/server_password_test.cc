// Where the server's administrator password is learned: the map URL of the command line, read
// as the game reads its options, and what RCON connections authenticate with.
#include "audit/server_password.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/sim_control.h"
#include "support/host_support.h"

namespace {

struct LineCase {
  const char* line;
  std::vector<std::string> passwords;
};

class ServerPasswordTest : public ::testing::TestWithParam<LineCase> {
 protected:
  void SetUp() override {
    saved_line_ = GetCommandLineW();
    quillmark::ForgetServerPasswords();
  }
  void TearDown() override {
    sim::SetCommandLine(saved_line_);
    quillmark::ForgetServerPasswords();
  }
  HostText saved_line_;
};

TEST_P(ServerPasswordTest, IsEveryValueTheCommandLineGivesAndWhatRconNotes) {
  sim::SetCommandLine(quillmark::testing::Host(GetParam().line));
  const auto known = quillmark::ServerPasswords();
  EXPECT_EQ(std::vector<std::string>(known.begin(), known.end()), GetParam().passwords);
  quillmark::NoteServerPassword("");
  quillmark::NoteServerPassword("rcon-pw");
  quillmark::NoteServerPassword("rcon-pw");
  std::vector<std::string> with_rcon = GetParam().passwords;
  if (std::find(with_rcon.begin(), with_rcon.end(), "rcon-pw") == with_rcon.end()) {
    with_rcon.push_back("rcon-pw");
  }
  const auto noted = quillmark::ServerPasswords();
  EXPECT_EQ(std::vector<std::string>(noted.begin(), noted.end()), with_rcon);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServerPasswordTest,
    ::testing::Values(LineCase{"srv.exe TheIsland_WP?listen?ServerAdminPassword=hunter2 -log",
                               {"hunter2"}},
                      LineCase{"srv.exe \"TheIsland_WP?SERVERADMINPASSWORD=a b?x=1\"", {"a b"}},
                      LineCase{"srv.exe M?ServerAdminPassword=\xC3\xB1"
                               "1?ServerAdminPassword=two",
                               {"\xC3\xB1"
                                "1",
                                "two"}},
                      LineCase{"srv.exe M?ServerAdminPassword=?ServerAdminPasswordX=no", {}},
                      LineCase{"ServerAdminPassword.exe?ServerAdminPassword=prog -log", {}},
                      LineCase{"srv.exe M?ServerAdminPassword=rcon-pw", {"rcon-pw"}}),
    [](const auto& param_info) { return "case_" + std::to_string(param_info.index); });

}  // namespace
