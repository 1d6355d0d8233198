// A fixture for tests of the plugin's pieces in this process: the logger writing into a
// recording sink, a configuration document, and a Discord stand-in to post to.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/config.h"
#include "base/logger.h"
#include "sim/sim_control.h"
#include "support/recording_sink.h"
#include "support/webhook_receiver.h"

namespace quillmark::testing {

class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetRequestOptions({});
    sim::SetLogSinks({sink_});
    CreatePluginLogger();
    PluginConfig() =
        nlohmann::json{{"discordwh", receiver_.Url()}, {"messages", {{"sender", "Quillmark"}}}};
  }
  void TearDown() override {
    receiver_.ReleaseHeld();
    EXPECT_TRUE(sim::DrainRequests(std::chrono::seconds(15)));
    sim::SetRequestOptions({});
    sim::UseConsoleLogSink();
    PluginConfig() = nullptr;
  }
  // Waits for every post handed over so far to complete.
  static void Settle() { ASSERT_TRUE(sim::DrainRequests(std::chrono::seconds(15))); }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  WebhookReceiver receiver_;
};

}  // namespace quillmark::testing
