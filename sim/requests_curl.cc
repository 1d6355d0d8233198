// The framework's HTTP request service in the simulated host, on libcurl: one worker thread
// drives every transfer at once through a multi handle, so handing a request over never waits
// for the network and one receiver that never answers does not hold up the others.
//
// Where it knowingly differs from the real framework: one thread drives every transfer instead
// of a thread per request (what a plugin sees is the same: requests run side by side and finish
// in any order); the time-out for receiving covers the whole exchange; and the number of
// requests in transfer is bounded.
#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "sim/internal.h"
#include "sim/reason_phrase.h"
#include "sim/request_book.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

using Clock = RequestClock;
using Headers = ResponseHeaders;
using Pending = PendingRequest;

struct Transfer {
  Pending request;
  CURL* easy = nullptr;
  curl_slist* header_list = nullptr;
  std::string response;
  std::string status_line;
  Headers response_headers;
  char error[CURL_ERROR_SIZE] = {};
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->response.append(data, size * count);
  return size * count;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    transfer->status_line = line;  // the last one wins (after a 100 Continue)
    transfer->response_headers.clear();
  } else if (const auto colon = line.find(':'); colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    transfer->response_headers[line.substr(0, colon)] = value;
  }
  return size * count;
}

// "<code> <reason>", the reason as the server sent it, or the standard one.
std::string StatusText(long code, const std::string& status_line) {
  const auto first = status_line.find(' ');
  const auto second = first == std::string::npos ? first : status_line.find(' ', first + 1);
  std::string reason = second == std::string::npos ? std::string() : status_line.substr(second + 1);
  if (reason.empty()) reason = ReasonPhrase(static_cast<int>(code));
  return std::to_string(code) + " " + reason;
}

class CurlTransport final : public RequestTransport {
 public:
  CurlTransport() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~CurlTransport() override { Stop(); }
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

 private:
  void Wake() override {
    std::lock_guard lock(multi_mutex_);
    if (multi_ != nullptr) curl_multi_wakeup(multi_);
  }

  void Run() override {
    CURLM* multi = curl_multi_init();
    {
      std::lock_guard lock(multi_mutex_);
      multi_ = multi;
    }
    std::vector<std::unique_ptr<Transfer>> active;
    std::deque<Pending> waiting;
    while (!book_.Abandoned()) {
      book_.TakeQueued(waiting);
      if (book_.CancelRequested()) {
        for (auto& transfer : active) Finish(std::move(transfer), false, {}, "cancelled");
        active.clear();
        for (auto& request : waiting) book_.Complete(request, false, {}, {}, "cancelled");
        waiting.clear();
      }
      StartDue(waiting, active);
      int running = 0;
      curl_multi_perform(multi, &running);
      CollectDone(active);
      int timeout_ms = 1000;
      for (const Pending& request : waiting) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(request.not_before -
                                                                                Clock::now());
        timeout_ms = std::clamp(static_cast<int>(wait.count()) + 1, 1, timeout_ms);
      }
      curl_multi_poll(multi, nullptr, 0, timeout_ms, nullptr);
    }
    for (auto& transfer : active) Release(*transfer);
    std::lock_guard lock(multi_mutex_);
    curl_multi_cleanup(multi_);
    multi_ = nullptr;
  }

  void StartDue(std::deque<Pending>& waiting, std::vector<std::unique_ptr<Transfer>>& active) {
    const auto now = Clock::now();
    for (auto it = waiting.begin(); it != waiting.end();) {
      if (it->not_before > now) {
        ++it;
        continue;
      }
      auto transfer = std::make_unique<Transfer>();
      transfer->request = std::move(*it);
      it = waiting.erase(it);
      CURL* easy = curl_easy_init();
      transfer->easy = easy;
      const Pending& request = transfer->request;
      transfer->header_list = curl_slist_append(transfer->header_list,
                                                ("Content-Type: " + request.content_type).c_str());
      for (const std::string& header : request.headers) {
        transfer->header_list = curl_slist_append(transfer->header_list, header.c_str());
      }
      curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);  // a 3xx is the answer, as there
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body.size()));
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->header_list);
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
      curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->error);
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                       static_cast<long>(request.connect_timeout.count()));
      curl_easy_setopt(
          easy, CURLOPT_TIMEOUT_MS,
          static_cast<long>((request.connect_timeout + request.receive_timeout).count()));
      curl_multi_add_handle(multi_, easy);
      active.push_back(std::move(transfer));
    }
  }

  void CollectDone(std::vector<std::unique_ptr<Transfer>>& active) {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      const auto it = std::find_if(active.begin(), active.end(), [message](const auto& t) {
        return t->easy == message->easy_handle;
      });
      if (it == active.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(*it);
      active.erase(it);
      long code = 0;
      curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &code);
      if (message->data.result != CURLE_OK) {
        const std::string reason =
            transfer->error[0] != 0 ? transfer->error : curl_easy_strerror(message->data.result);
        // After a status line the framework's service reports success as the status says, with
        // neither text nor headers.
        Finish(std::move(transfer), code >= 200 && code < 300, {}, reason);
        continue;
      }
      const bool success = code >= 200 && code < 300;
      std::string text =
          code == 200 ? std::move(transfer->response) : StatusText(code, transfer->status_line);
      Finish(std::move(transfer), success, std::move(text), {});
    }
  }

  // A failure's `reason` goes to the framework's log; the callback gets an empty text.
  void Finish(std::unique_ptr<Transfer> transfer, bool success, std::string text,
              const std::string& reason) {
    Headers headers = reason.empty() ? std::move(transfer->response_headers) : Headers{};
    Release(*transfer);
    book_.Complete(transfer->request, success, std::move(text), std::move(headers), reason);
  }

  void Release(Transfer& transfer) {
    curl_multi_remove_handle(multi_, transfer.easy);
    curl_easy_cleanup(transfer.easy);
    curl_slist_free_all(transfer.header_list);
  }

  std::mutex multi_mutex_;
  CURLM* multi_ = nullptr;
};

}  // namespace

// Destroyed at exit: the worker is ended before libcurl's own state goes away.
RequestTransport& TheTransport() {
  static CurlTransport transport;
  return transport;
}

}  // namespace sim
