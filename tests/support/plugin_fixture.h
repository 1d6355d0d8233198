// A fixture for tests of the plugin's pieces in this process: the logger writing into a
// recording sink, notification settings, and a Discord stand-in to post to.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/logger.h"
#include "notify/discord.h"
#include "sim/sim_control.h"
#include "support/recording_sink.h"
#include "tools/webhook_receiver.h"

namespace quillmark::testing {

using tools::WebhookReceiver;

class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SetRequestOptions({});
    sim::SetLogSinks({sink_});
    CreatePluginLogger();
    settings_ = {receiver_.Url(), "Quillmark", {}};
    StartNotifier(settings_.delivery);
  }
  void TearDown() override {
    StopNotifier();
    receiver_.ReleaseHeld();
    EXPECT_TRUE(sim::DrainRequests(std::chrono::seconds(15)));
    sim::SetRequestOptions({});
    sim::UseConsoleLogSink();
  }
  // Runs frames until every notification handed over so far is delivered (or refused), and
  // every request has completed.
  static void Settle() {
    ASSERT_TRUE(sim::RunFramesUntil(
        [] { return WaitingNotifications() == 0 && sim::PendingRequests() == 0; },
        std::chrono::seconds(30)));
  }

  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  WebhookReceiver receiver_;
  NotifySettings settings_;
};

}  // namespace quillmark::testing
