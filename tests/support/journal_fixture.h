// Journals for the tools' tests, written as the plugin writes them: one compact JSON object per
// line, keys in the journal's order, prev the SHA-256 of the line before, one file per UTC day in
// a folder per server, under a temporary folder removed with the object.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/libraries.h"
#include "host/sha256.h"

namespace quillmark::testing {

class JournalFixture {
 public:
  JournalFixture() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("quillmark-journal-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);
  }
  ~JournalFixture() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  JournalFixture(const JournalFixture&) = delete;
  JournalFixture& operator=(const JournalFixture&) = delete;

  [[nodiscard]] const std::filesystem::path& Root() const { return root_; }
  [[nodiscard]] std::filesystem::path Day(const std::string& server, const std::string& day) const {
    return root_ / server / (day + ".jsonl");
  }

  // Appends a record of `server` at `time` ("2026-12-09T13:45:12.345Z"): seq, time and server
  // first, then `fields` in their order, prev last. Returns its line.
  std::string Add(const std::string& server, const std::string& time,
                  const nlohmann::ordered_json& fields) {
    Chain& chain = chains_[server];
    nlohmann::ordered_json record{{"seq", ++chain.seq}, {"time", time}, {"server", server}};
    for (const auto& [key, value] : fields.items()) record[key] = value;
    record["prev"] = chain.prev;
    const std::string line = record.dump();
    chain.prev = host::Sha256Hex(line);
    std::filesystem::create_directories(root_ / server);
    std::ofstream(Day(server, time.substr(0, 10)), std::ios::binary | std::ios::app)
        << line << '\n';
    return line;
  }

  std::string Console(const std::string& server, const std::string& time, const std::string& player,
                      const std::string& eosid, const std::string& command,
                      const std::string& decision, bool admin = false) {
    nlohmann::ordered_json fields{
        {"source", "console"},
        {"player", player},
        {"eosid", eosid},
        {"admin", admin},
        {"position", {1.5, -20.25, 300.0}},
        {"command", command},
        {"decision", decision},
        {"rule", decision == "allowed" ? nlohmann::ordered_json("/white-list/0")
                                       : nlohmann::ordered_json()}};
    return Add(server, time, fields);
  }
  std::string Rcon(const std::string& server, const std::string& time, const std::string& client,
                   const std::string& command) {
    return Add(
        server, time,
        {{"source", "rcon"}, {"client", client}, {"command", command}, {"decision", "audited"}});
  }
  std::string Event(const std::string& server, const std::string& time, const std::string& event) {
    return Add(server, time, {{"event", event}});
  }

  // The lines of a day file, and the file written back from lines (each ended by "\n").
  [[nodiscard]] static std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  static void WriteLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
  }

 private:
  struct Chain {
    std::uint64_t seq = 0;
    std::string prev = std::string(64, '0');
  };
  std::filesystem::path root_;
  std::map<std::string, Chain> chains_;
};

}  // namespace quillmark::testing
