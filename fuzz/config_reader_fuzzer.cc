// The configuration reader on any bytes: it either gives a document or refuses with one error
// line of bounded length. A document then goes where start-up, a reload and the checker take
// it: the allow-list's index, the notifier's settings and the checker's report, none of which
// may fail on it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "audit/allow_list.h"
#include "base/config.h"
#include "fuzz_check.h"
#include "notify/discord.h"
#include "tools/config_check.h"

namespace {

// The reader's own sentence around the JSON library's message, which it cuts.
constexpr std::size_t kMaxErrorLine = quillmark::kMaxQuotedMessage + 200;

bool OneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  nlohmann::json document;
  try {
    document = quillmark::ParseConfigText(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const quillmark::ConfigError& e) {
    const std::string message = e.what();
    FUZZ_CHECK(!message.empty() && message.size() <= kMaxErrorLine, message);
    FUZZ_CHECK(OneLine(message), message);
    FUZZ_CHECK(e.Line() == 0 || e.Column() > 0, message);
    return 0;
  }
  // Any other exception escapes and is reported as a crash: the reader promises ConfigError.

  const quillmark::AllowList rules(document);
  FUZZ_CHECK(rules.WhiteListEntries() <= size && rules.AdminEntries() <= size, "counts");
  (void)rules.WhiteListEntry("give");
  (void)rules.FindGrant("0002aaaa", "fly");

  std::vector<quillmark::ConfigProblem> problems;
  const quillmark::NotifySettings settings = quillmark::ReadNotifySettings(document, problems);
  for (const quillmark::ConfigProblem& problem : problems) {
    FUZZ_CHECK(!problem.message.empty() && OneLine(problem.message), problem.message);
    FUZZ_CHECK(problem.message.size() <= kMaxErrorLine, problem.message);
  }
  FUZZ_CHECK(settings.delivery.queue_limit > 0 && settings.delivery.posts_per_minute > 0,
             "delivery settings out of range");

  const quillmark::tools::CheckReport report = quillmark::tools::CheckConfig(document);
  const int status = report.ExitStatus();
  FUZZ_CHECK(status >= 0 && status <= 2, report.summary);
  (void)quillmark::tools::FormatReport("config.json", report);
  return 0;
}
