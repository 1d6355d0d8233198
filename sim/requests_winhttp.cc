// The framework's HTTP request service in the simulated host on Windows, on WinHTTP: a
// dispatcher thread takes the requests handed over and runs each on its own worker, as the real
// framework does, so that a receiver that never answers holds up no other request.
//
// Where it knowingly differs from the real framework: the number of requests in transfer is
// bounded. WinHTTP under Wine honours only the receive-response timeout, so every transfer also
// has a deadline of the service's own, past which its handle is closed.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <list>
#include <memory>
#include <thread>

#include "sim/internal.h"
#include "sim/reason_phrase.h"
#include "sim/request_book.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

std::wstring Wide(const std::string& text) { return DecodeUtf8(text); }

struct Transfer {
  PendingRequest request;
  RequestClock::time_point deadline;
  std::mutex mutex;
  HINTERNET handle = nullptr;  // the request's, while it is open
  bool cancelled = false;
  bool timed_out = false;
  bool done = false;

  // Closes the handle from another thread, which ends a blocking WinHTTP call at once.
  void Abort(bool by_timeout) {
    std::lock_guard lock(mutex);
    (by_timeout ? timed_out : cancelled) = true;
    CloseLocked();
  }
  void Close() {
    std::lock_guard lock(mutex);
    CloseLocked();
  }
  void CloseLocked() {
    if (handle != nullptr) WinHttpCloseHandle(handle);
    handle = nullptr;
  }
};

// A transport failure has an empty text and its reason, for the framework's log.
struct Outcome {
  bool success = false;
  std::string text;
  ResponseHeaders headers;
  std::string reason;
};

Outcome Failed(std::string reason) { return {false, {}, {}, std::move(reason)}; }

std::string Failure(DWORD error, const std::string& host, int port) {
  switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "Failed to connect to " + host + " port " + std::to_string(port) +
             ": connection refused (WinHTTP error 12029)";
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
      return "Operation timed out (WinHTTP error " + std::to_string(error) + ")";
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "transfer closed before the response was complete (WinHTTP error " +
             std::to_string(error) + ")";
    default:
      return "WinHTTP error " + std::to_string(error);
  }
}

ResponseHeaders ParseHeaders(const std::wstring& raw) {
  ResponseHeaders headers;
  std::size_t start = raw.find(L"\r\n");
  while (start != std::wstring::npos && start + 2 < raw.size()) {
    const std::size_t end = raw.find(L"\r\n", start + 2);
    const std::wstring line = raw.substr(start + 2, end - start - 2);
    const std::size_t colon = line.find(L':');
    if (colon != std::wstring::npos) {
      std::string name(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon));
      std::wstring value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(L' '));
      headers[name] = std::string(value.begin(), value.end());
    }
    start = end;
  }
  return headers;
}

Outcome Perform(HINTERNET session, Transfer& transfer) {
  const PendingRequest& request = transfer.request;
  std::wstring url = Wide(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return Failed("malformed URL");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  const std::string narrow_host(host.begin(), host.end());

  HINTERNET connection = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
  if (connection == nullptr) return Failed(Failure(GetLastError(), narrow_host, parts.nPort));
  const std::unique_ptr<void, decltype(&WinHttpCloseHandle)> connection_owner(connection,
                                                                              &WinHttpCloseHandle);
  HINTERNET handle = WinHttpOpenRequest(
      connection, L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
      parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  if (handle == nullptr) return Failed(Failure(GetLastError(), narrow_host, parts.nPort));
  {
    std::lock_guard lock(transfer.mutex);
    transfer.handle = handle;
  }
  const int connect_ms = static_cast<int>(request.connect_timeout.count());
  const int total_ms = static_cast<int>(request.receive_timeout.count());
  WinHttpSetTimeouts(handle, connect_ms, connect_ms, total_ms, total_ms);
  DWORD receive_ms = static_cast<DWORD>(total_ms);
  WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive_ms, sizeof receive_ms);
  // WinHTTP follows redirects, sending a 301, 302 or 303 on as a GET; the framework's service
  // never does: a 3xx is the answer.
  DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);

  std::wstring headers = L"Content-Type: " + Wide(request.content_type);
  for (const std::string& header : request.headers) headers += L"\r\n" + Wide(header);
  Outcome outcome;
  BOOL ok = WinHttpSendRequest(
      handle, headers.c_str(), static_cast<DWORD>(-1), const_cast<char*>(request.body.data()),
      static_cast<DWORD>(request.body.size()), static_cast<DWORD>(request.body.size()), 0);
  if (ok) ok = WinHttpReceiveResponse(handle, nullptr);
  DWORD code = 0;
  if (ok) {
    DWORD size = sizeof code;
    ok = WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
  }
  const bool answered = ok;  // a status line has come
  std::string body;
  while (ok) {
    DWORD available = 0;
    ok = WinHttpQueryDataAvailable(handle, &available);
    if (!ok || available == 0) break;
    std::string chunk(available, '\0');
    DWORD read = 0;
    ok = WinHttpReadData(handle, chunk.data(), available, &read);
    body.append(chunk.data(), read);
  }
  if (!ok) {
    const DWORD error = GetLastError();
    std::lock_guard lock(transfer.mutex);
    transfer.CloseLocked();
    if (transfer.cancelled) return Failed("cancelled");
    Outcome failed = transfer.timed_out ? Failed(Failure(ERROR_WINHTTP_TIMEOUT, narrow_host, 0))
                                        : Failed(Failure(error, narrow_host, parts.nPort));
    // After a status line the framework's service reports success as the status says, with
    // neither text nor headers.
    failed.success = answered && code >= 200 && code < 300;
    return failed;
  }
  DWORD size = 0;
  WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, nullptr,
                      &size, WINHTTP_NO_HEADER_INDEX);
  std::wstring reason(size / sizeof(wchar_t), L'\0');
  WinHttpQueryHeaders(handle, WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX,
                      reason.data(), &size, WINHTTP_NO_HEADER_INDEX);
  reason.resize(size / sizeof(wchar_t));
  size = 0;
  WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr,
                      &size, WINHTTP_NO_HEADER_INDEX);
  std::wstring raw(size / sizeof(wchar_t), L'\0');
  WinHttpQueryHeaders(handle, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                      raw.data(), &size, WINHTTP_NO_HEADER_INDEX);
  outcome.headers = ParseHeaders(raw);
  // Wine's WinHTTP reports a body cut short by a closed connection as complete; Windows' own
  // fails the read. Hold it to the promised length either way.
  const auto promised = outcome.headers.find("Content-Length");
  if (promised != outcome.headers.end() &&
      body.size() < static_cast<std::size_t>(std::stoull(promised->second))) {
    transfer.Close();
    Outcome failed = Failed(Failure(ERROR_WINHTTP_CONNECTION_ERROR, narrow_host, parts.nPort));
    failed.success = code >= 200 && code < 300;
    return failed;
  }
  transfer.Close();
  outcome.success = code >= 200 && code < 300;
  std::string reason_text(reason.begin(), reason.end());
  if (reason_text.empty()) reason_text = ReasonPhrase(static_cast<int>(code));
  outcome.text = code == 200 ? body : std::to_string(code) + " " + reason_text;
  return outcome;
}

class WinHttpTransport final : public RequestTransport {
 public:
  WinHttpTransport()
      : session_(WinHttpOpen(L"quillmark-sim", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0)) {}

 private:
  struct Worker {
    std::shared_ptr<Transfer> transfer;
    std::thread thread;
  };

  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    wake_.notify_all();
  }

  // The dispatcher: starts each due request on a worker of its own, and enforces deadlines.
  void Run() override {
    std::deque<PendingRequest> waiting;
    std::list<Worker> workers;
    while (!book_.Abandoned()) {
      book_.TakeQueued(waiting);
      const bool cancel = book_.CancelRequested();
      const auto now = RequestClock::now();
      if (cancel) {
        for (auto& request : waiting) book_.Complete(request, false, {}, {}, "cancelled");
        waiting.clear();
      }
      for (Worker& worker : workers) {
        if (cancel) worker.transfer->Abort(false);
        if (now > worker.transfer->deadline) worker.transfer->Abort(true);
      }
      for (auto it = workers.begin(); it != workers.end();) {
        bool done = false;
        {
          std::lock_guard lock(it->transfer->mutex);
          done = it->transfer->done;
        }
        if (done) {
          it->thread.join();
          it = workers.erase(it);
        } else {
          ++it;
        }
      }
      for (auto it = waiting.begin(); it != waiting.end();) {
        if (it->not_before > now) {
          ++it;
          continue;
        }
        auto transfer = std::make_shared<Transfer>();
        transfer->request = std::move(*it);
        transfer->deadline =
            now + transfer->request.connect_timeout + transfer->request.receive_timeout;
        it = waiting.erase(it);
        workers.push_back({transfer, std::thread([this, transfer] { Work(*transfer); })});
      }
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return woken_; });
      woken_ = false;
    }
    for (Worker& worker : workers) {
      worker.transfer->Abort(false);
      worker.thread.join();
    }
  }

  void Work(Transfer& transfer) {
    Outcome outcome = Perform(session_, transfer);
    if (!book_.Abandoned()) {
      book_.Complete(transfer.request, outcome.success, std::move(outcome.text),
                     std::move(outcome.headers), outcome.reason);
    }
    std::lock_guard lock(transfer.mutex);
    transfer.done = true;
  }

  HINTERNET session_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
};

}  // namespace

// Never destroyed: its destructor would run while the host DLL detaches, under the loader
// lock, where joining a thread deadlocks. At exit Windows ends the threads itself.
RequestTransport& TheTransport() {
  static auto* transport = new WinHttpTransport();
  return *transport;
}

}  // namespace sim
