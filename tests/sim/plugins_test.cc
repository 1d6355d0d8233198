// The simulated framework's plugin manager held to the framework's unload: refused while the
// plugin's library is missing on disk, and the plugin listed until its library is freed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/sim_control.h"
#include "support/server_folder.h"

namespace {

TEST(PluginsTest, AnUnloadIsRefusedWhileTheLibraryIsMissingOnDisk) {
  const quillmark::testing::ServerFolder folder;
  const auto library =
      folder.PluginDir() / std::filesystem::path(QUILLMARK_PROBE_PLUGIN).filename();
  std::filesystem::copy_file(QUILLMARK_PROBE_PLUGIN, library);
  sim::SetPluginLibrary("quillmark", library.string());
  ASSERT_TRUE(sim::LoadPlugin("quillmark"));
  // Renamed away, as an operator might while the server runs (a mapped image can be renamed).
  const auto away = folder.Root() / "elsewhere";
  std::filesystem::rename(library, away);
  std::string error;
  EXPECT_FALSE(sim::UnloadPlugin("quillmark", &error));
  EXPECT_EQ(error, "Plugin quillmark does not exist");
  EXPECT_TRUE(sim::IsPluginLoaded("quillmark"));
  std::filesystem::rename(away, library);
  EXPECT_TRUE(sim::UnloadPlugin("quillmark", &error)) << error;
  EXPECT_FALSE(sim::IsPluginLoaded("quillmark"));
}

}  // namespace
