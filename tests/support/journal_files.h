// Reading a journal back in tests: the day files of a label folder, their lines, and the chain
// recomputed (seq one by one, each prev the SHA-256 of the line before).
#pragma once

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host/sha256.h"

namespace quillmark::testing {

// The day files of `folder`, oldest first.
inline std::vector<std::filesystem::path> DayFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().extension() == ".jsonl") files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The lines of `folder`'s day files in order, without their line breaks.
inline std::vector<std::string> JournalLines(const std::filesystem::path& folder) {
  std::vector<std::string> lines;
  for (const auto& file : DayFiles(folder)) {
    std::istringstream in(FileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

// The records of `lines` that are JSON objects, each checked against the one before: empty when
// the chain holds from the first record a server writes, else the first break.
inline std::string ChainBreak(const std::vector<std::string>& lines) {
  std::string prev(64, '0');
  std::uint64_t seq = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto record = nlohmann::json::parse(lines[i], nullptr, false);
    if (!record.is_object()) continue;  // a torn line, passed over
    if (record.value("prev", "") != prev) return "line " + std::to_string(i + 1) + ": prev";
    if (record.value("seq", 0ull) != seq + 1) return "line " + std::to_string(i + 1) + ": seq";
    prev = host::Sha256Hex(lines[i]);
    seq = record["seq"].get<std::uint64_t>();
  }
  return {};
}

inline std::vector<nlohmann::json> Records(const std::vector<std::string>& lines) {
  std::vector<nlohmann::json> records;
  for (const std::string& line : lines) {
    auto record = nlohmann::json::parse(line, nullptr, false);
    if (record.is_object()) records.push_back(std::move(record));
  }
  return records;
}

}  // namespace quillmark::testing
