// Configurations of every shape config.json may take (wrongly typed values, repeated ids, "*",
// non-text elements), command words and commands, generated from a seed (or, in the fuzzer,
// from its input): the cases on which the plugin's decision is compared with plainer ones.
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <utility>

#include "audit/audit_text.h"

namespace quillmark::testing {

using nlohmann::json;

// A small vocabulary, so that generated words, entries and ids often meet.
constexpr std::array kWords = {
    "fly",        "FLY",  "give",  "giveitem", "gi",         "*",           " *",
    "**",         "*fly", "",      "Ghost",    "cheat",      "say",         "quillmark.reload",
    "ébullition", "//",   "fly//", "a\"b",     "?bullition", "enablecheats"};
constexpr std::array kIds = {"0002aaaa", "0002AAAA", "0002bbbb", "", "0002cccc"};

// Choices from a seeded random engine.
class RandomChoices {
 public:
  explicit RandomChoices(unsigned seed) : random_(seed) {}
  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

 private:
  std::mt19937 random_;
};

// Generates from `Choices`, which answers Below(n) with a number under n, and may make up texts
// of its own with MadeUp().
template <typename Choices>
class BasicConfigGenerator {
 public:
  template <typename... Args>
  explicit BasicConfigGenerator(Args&&... args) : choices_(std::forward<Args>(args)...) {}

  std::size_t Below(std::size_t n) { return choices_.Below(n); }
  bool OneIn(std::size_t n) { return Below(n) == 0; }

  // An element of `pool`, or now and then a text the choices make up.
  template <std::size_t N>
  std::string Pick(const std::array<const char*, N>& pool) {
    if constexpr (requires { choices_.MadeUp(); }) {
      if (OneIn(8)) return choices_.MadeUp();
    }
    return pool[Below(N)];
  }

  json NotText() {
    switch (Below(5)) {
      case 0:
        return 7;
      case 1:
        return nullptr;
      case 2:
        return true;
      case 3:
        return json::array({"fly"});
      default:
        return json::object({{"k", "give"}});
    }
  }

  // A list, mostly an array of texts; sometimes an object, one text, null or a number.
  template <std::size_t N>
  json List(const std::array<const char*, N>& pool) {
    json items = json::array();
    const std::size_t count = Below(5);
    for (std::size_t i = 0; i < count; ++i) {
      items.push_back(OneIn(8) ? NotText() : json(Pick(pool)));
    }
    switch (Below(12)) {
      case 0:
        return Pick(pool);
      case 1:
        return nullptr;
      case 2:
        return 3;
      case 3: {
        json object = json::object();
        for (std::size_t i = 0; i < items.size(); ++i)
          object[std::string(1, char('a' + i))] = items[i];
        return object;
      }
      default:
        return items;
    }
  }

  json Entry() {
    if (OneIn(15)) return NotText();
    json entry = json::object();
    if (!OneIn(8)) entry["eosid"] = List(kIds);
    if (!OneIn(8)) entry["allowed-commands"] = List(kWords);
    return entry;
  }

  json Config() {
    json config = json::object();
    if (!OneIn(6)) config["white-list"] = List(kWords);
    if (!OneIn(10)) {
      json admins = json::array();
      const std::size_t count = Below(6);
      for (std::size_t i = 0; i < count; ++i) admins.push_back(Entry());
      if (OneIn(10)) {
        json object = json::object();
        for (std::size_t i = 0; i < admins.size(); ++i) object[std::to_string(9 - i)] = admins[i];
        admins = object;
      } else if (OneIn(20)) {
        admins = OneIn(2) ? json(nullptr) : json("admins");
      }
      config["admins"] = admins;
    }
    return config;
  }

  std::string Word() {
    std::string word = kWords[Below(kWords.size())];
    if (OneIn(3)) word += kWords[Below(kWords.size())];
    return Lower(word);
  }

  // A console line: one to three commands, sometimes chained, with quoted, commented or
  // non-ASCII arguments, in mixed letter case.
  std::string Command() {
    constexpr std::array kArguments = {"", " 1", " \"a|b\"", "  2 3", " // x|fly", " привет", "\t"};
    constexpr std::array kSeparators = {"|", " | ", "||", "\n", "\r\n|"};
    std::string line = OneIn(5) ? " " : "";
    const std::size_t parts = 1 + Below(3);
    for (std::size_t i = 0; i < parts; ++i) {
      if (i > 0) line += kSeparators[Below(kSeparators.size())];
      std::string word = kWords[Below(kWords.size())];
      if (OneIn(4)) {
        for (char& c : word) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      }
      line += word;
      line += kArguments[Below(kArguments.size())];
    }
    return line;
  }

 private:
  Choices choices_;
};

using ConfigGenerator = BasicConfigGenerator<RandomChoices>;

}  // namespace quillmark::testing
