// The bookkeeping of the simulated host's request service, shared by its transports (libcurl on
// POSIX systems, WinHTTP on Windows): admission with a bounded number of requests in transfer,
// the callbacks kept by request id with the module that handed each over, the results queued for
// the game thread's next frame (or, as a test option, delivered on the transport's thread),
// dropping a module's callbacks when it is unloaded, the counters, and cancellation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {

using RequestClock = std::chrono::steady_clock;
using ResponseHeaders = std::unordered_map<std::string, std::string>;

struct PendingRequest {
  std::uint64_t id = 0;
  std::string url;
  std::string body;
  std::string content_type;
  std::vector<std::string> headers;
  std::chrono::milliseconds connect_timeout{0};
  std::chrono::milliseconds receive_timeout{0};
  RequestClock::time_point not_before;
};

// The host part of a URL, for log lines that must not show the rest (a webhook's token).
inline std::string HostOf(const std::string& url) {
  const auto scheme = url.find("://");
  const auto start = scheme == std::string::npos ? 0 : scheme + 3;
  const auto end = url.find_first_of(":/?", start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

class RequestBook {
 public:
  // Queues `request` unless hand-over is refused or too many are in transfer; `wake` then tells
  // the transport. Any thread.
  bool Admit(PendingRequest request, API::Requests::Callback callback, void* module,
             long connect_seconds, long receive_seconds, const std::function<void()>& wake) {
    {
      std::lock_guard lock(mutex_);
      if (options_.refuse_handover || abandoned_ || in_transfer_ >= options_.queue_capacity) {
        ++stats_.dropped;
        return false;
      }
      request.id = next_id_++;
      request.connect_timeout = Effective(connect_seconds, 30);
      request.receive_timeout = Effective(receive_seconds, 60);
      request.not_before = RequestClock::now() + options_.delay;
      callbacks_.emplace(request.id, Entry{std::move(callback), module});
      queue_.push_back(std::move(request));
      ++in_transfer_;
      ++pending_;
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

  // The transport has finished request `id`; a transport failure has success false and an
  // empty text, its reason written to the framework's log. Transport thread.
  void Complete(const PendingRequest& request, bool success, std::string text,
                ResponseHeaders headers, const std::string& failure = {}) {
    if (!failure.empty()) {
      FrameworkLog(kLogError, "HTTP request to '" + HostOf(request.url) + "' failed: " + failure);
    }
    Result result{request.id, success, std::move(text), std::move(headers)};
    std::unique_lock lock(mutex_);
    --in_transfer_;
    if (!options_.deliver_on_worker) {
      results_.push_back(std::move(result));
      changed_.notify_all();
      return;
    }
    RunLocked(lock, std::move(result));
  }

  // Runs the callbacks of the results that have arrived. Game thread, once a frame.
  void DeliverResults() {
    std::unique_lock lock(mutex_);
    std::vector<Result> arrived = std::exchange(results_, {});
    for (Result& result : arrived) RunLocked(lock, std::move(result));
  }

  // Drops the module's callbacks that have not run and waits for one of its callbacks that is
  // running now. The requests themselves go on; their results are discarded.
  void DropModule(void* module) {
    std::unique_lock lock(mutex_);
    const auto dropped = std::erase_if(
        callbacks_, [module](const auto& entry) { return entry.second.module == module; });
    pending_ -= dropped;
    stats_.discarded += static_cast<std::int64_t>(dropped);
    // A callback of the module running on this very thread is the caller itself.
    changed_.wait(lock, [&] {
      return running_module_ != module || running_thread_ == std::this_thread::get_id();
    });
  }

  bool ThrowsAfterHandover() {
    std::lock_guard lock(mutex_);
    return options_.throw_after_handover;
  }
  void SetOptions(const RequestOptions& options) {
    std::lock_guard lock(mutex_);
    options_ = options;
  }
  RequestStats Stats() {
    std::lock_guard lock(mutex_);
    return stats_;
  }
  std::int64_t Pending() {
    std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(pending_);
  }
  // True when nothing is in transfer, waiting for a frame or owed a callback.
  bool Idle() {
    std::lock_guard lock(mutex_);
    return pending_ == 0 && in_transfer_ == 0 && results_.empty();
  }

  // Asks the transport to end every request in transfer (through `wake`) and waits until it
  // has.
  void Cancel(const std::function<void()>& wake) {
    {
      std::lock_guard lock(mutex_);
      cancel_ = true;
    }
    wake();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return in_transfer_ == 0; });
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
  struct Entry {
    API::Requests::Callback callback;
    void* module = nullptr;
  };
  struct Result {
    std::uint64_t id = 0;
    bool success = false;
    std::string text;
    ResponseHeaders headers;
  };

  std::chrono::milliseconds Effective(long seconds, long default_seconds) const {
    auto timeout = std::chrono::milliseconds(1000 * (seconds > 0 ? seconds : default_seconds));
    if (options_.max_timeout.count() > 0 && timeout > options_.max_timeout) {
      timeout = options_.max_timeout;
    }
    return timeout;
  }

  // Runs the result's callback, if its module has not been unloaded, without the lock; the
  // callback is destroyed before the request stops counting as pending, since its code may
  // belong to a library that is unloaded as soon as nothing is pending.
  void RunLocked(std::unique_lock<std::mutex>& lock, Result result) {
    const auto it = callbacks_.find(result.id);
    if (it == callbacks_.end()) return;  // its module was unloaded
    Entry entry = std::move(it->second);
    callbacks_.erase(it);
    running_module_ = entry.module;
    running_thread_ = std::this_thread::get_id();
    lock.unlock();
    // The framework does not catch what a callback throws: it goes into the game's tick, which
    // ends the server. So does it here, with a line that says why.
    try {
      entry.callback(result.success, std::move(result.text), std::move(result.headers));
    } catch (const std::exception& e) {
      Fatal("request service: a callback threw into the game's tick: %s", e.what());
    } catch (...) {
      Fatal("request service: a callback threw into the game's tick");
    }
    entry.callback = nullptr;
    lock.lock();
    running_module_ = nullptr;
    ++(result.success ? stats_.sent : stats_.failed);
    --pending_;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PendingRequest> queue_;
  std::unordered_map<std::uint64_t, Entry> callbacks_;
  std::vector<Result> results_;
  std::uint64_t next_id_ = 1;
  std::size_t in_transfer_ = 0;
  std::size_t pending_ = 0;
  void* running_module_ = nullptr;
  std::thread::id running_thread_;
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

  bool Post(PendingRequest request, API::Requests::Callback callback, void* module,
            long connect_seconds, long receive_seconds) {
    {
      std::lock_guard lock(start_mutex_);
      if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
    }
    const bool admitted = book_.Admit(std::move(request), std::move(callback), module,
                                      connect_seconds, receive_seconds, [this] { Wake(); });
    if (admitted && book_.ThrowsAfterHandover()) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              "thread");
    }
    return admitted;
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
