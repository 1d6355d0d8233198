// The bookkeeping of the simulated host's request service, shared by its transports (libcurl on
// POSIX systems, WinHTTP on Windows): admission with a bounded number of pending requests, the
// counters, waiting until nothing is pending, cancellation, and the completion of a request,
// which runs its callback and destroys it before the request stops counting as pending.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "sim/sim_control.h"

namespace sim {

using RequestClock = std::chrono::steady_clock;
using ResponseHeaders = std::unordered_map<std::string, std::string>;

struct PendingRequest {
  std::string url;
  std::string body;
  std::string content_type;
  std::vector<std::string> headers;
  API::Requests::Callback callback;
  RequestClock::time_point not_before;
};

class RequestBook {
 public:
  // Queues `request` unless hand-over is refused or the book is full; `wake` then tells the
  // transport. Any thread.
  bool Admit(PendingRequest request, const std::function<void()>& wake) {
    {
      std::lock_guard lock(mutex_);
      if (options_.refuse_handover || abandoned_ || in_flight_ >= options_.queue_capacity) {
        ++stats_.dropped;
        return false;
      }
      request.not_before = RequestClock::now() + options_.delay;
      queue_.push_back(std::move(request));
      ++in_flight_;
      ++stats_.handed_over;
    }
    wake();
    return true;
  }

  // Moves the queued requests to `out`. Transport thread.
  void TakeQueued(std::deque<PendingRequest>& out) {
    std::lock_guard lock(mutex_);
    while (!queue_.empty()) {
      out.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
  }

  // Runs the callback and destroys it before the request counts as completed: its code may
  // belong to a library that is unloaded as soon as nothing is pending.
  void Complete(API::Requests::Callback callback, bool success, const std::string& text,
                ResponseHeaders headers) {
    try {
      if (callback) callback(success, text, std::move(headers));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "request service: a callback threw: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "request service: a callback threw\n");
    }
    callback = nullptr;
    std::lock_guard lock(mutex_);
    ++(success ? stats_.sent : stats_.failed);
    if (--in_flight_ == 0) idle_.notify_all();
  }

  void SetOptions(const RequestOptions& options) {
    std::lock_guard lock(mutex_);
    options_ = options;
  }
  RequestOptions Options() {
    std::lock_guard lock(mutex_);
    return options_;
  }
  RequestStats Stats() {
    std::lock_guard lock(mutex_);
    return stats_;
  }

  bool Drain(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [this] { return in_flight_ == 0; });
  }

  // Asks the transport to end every pending request (through `wake`) and waits until it has.
  void Cancel(const std::function<void()>& wake) {
    {
      std::lock_guard lock(mutex_);
      cancel_ = true;
    }
    wake();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return in_flight_ == 0; });
    cancel_ = false;
  }
  bool CancelRequested() {
    std::lock_guard lock(mutex_);
    return cancel_;
  }

  // The process is exiting: nothing more is admitted and nobody is left to call back.
  void Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  bool Abandoned() {
    std::lock_guard lock(mutex_);
    return abandoned_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::deque<PendingRequest> queue_;
  std::size_t in_flight_ = 0;
  RequestOptions options_;
  RequestStats stats_;
  bool cancel_ = false;
  bool abandoned_ = false;
};

// A transport's skeleton: one worker thread, started with the first request, that takes what
// the book admits. Each platform's transport says how to wake the worker and what it runs.
class RequestTransport {
 public:
  RequestTransport() = default;
  RequestTransport(const RequestTransport&) = delete;
  RequestTransport& operator=(const RequestTransport&) = delete;
  virtual ~RequestTransport() = default;

  bool Post(PendingRequest request) {
    {
      std::lock_guard lock(start_mutex_);
      if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
    }
    return book_.Admit(std::move(request), [this] { Wake(); });
  }
  void Cancel() {
    book_.Cancel([this] { Wake(); });
  }
  RequestBook& Book() { return book_; }

 protected:
  // Ends the worker; a transport calls it from its destructor, while its own members live.
  void Stop() {
    book_.Abandon();
    Wake();
    if (worker_.joinable()) worker_.join();
  }
  // Makes the worker look at the book now. Any thread.
  virtual void Wake() = 0;
  // The worker: runs until the book is abandoned.
  virtual void Run() = 0;

  RequestBook book_;

 private:
  std::mutex start_mutex_;
  std::thread worker_;
};

// The platform's transport.
RequestTransport& TheTransport();

}  // namespace sim
