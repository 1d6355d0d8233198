// Finding repeated keys with the JSON library's event reader, which reports every key as it is
// read, before the library's document would drop it.
#include "tools/repeated_keys.h"

#include <set>

#include "host/libraries.h"

namespace quillmark::tools {
namespace {

using nlohmann::json;

class KeyRepeats final : public json::json_sax_t {
 public:
  std::vector<std::string> repeats;

  bool null() override { return Value(); }
  bool boolean(bool /*value*/) override { return Value(); }
  bool number_integer(number_integer_t /*value*/) override { return Value(); }
  bool number_unsigned(number_unsigned_t /*value*/) override { return Value(); }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return Value(); }
  bool string(string_t& /*value*/) override { return Value(); }
  bool binary(binary_t& /*value*/) override { return Value(); }
  bool start_object(std::size_t /*elements*/) override { return Enter(true); }
  bool end_object() override { return Leave(); }
  bool start_array(std::size_t /*elements*/) override { return Enter(false); }
  bool end_array() override { return Leave(); }
  bool key(string_t& key) override {
    Level& level = levels_.back();
    level.key = key;
    if (!level.keys.insert(key).second) repeats.push_back((Here() / key).to_string());
    return true;
  }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  struct Level {
    bool object = false;
    std::size_t index = 0;  // in an array: of the next element
    std::string key;        // in an object: of the value being read
    std::set<std::string> keys;
  };

  // The place of the container being read.
  [[nodiscard]] json::json_pointer Here() const {
    json::json_pointer at;
    for (std::size_t i = 0; i + 1 < levels_.size(); ++i) {
      const Level& level = levels_[i];
      at /= level.object ? level.key : std::to_string(level.index);
    }
    return at;
  }
  bool Value() {
    if (!levels_.empty() && !levels_.back().object) ++levels_.back().index;
    return true;
  }
  bool Enter(bool object) {
    levels_.push_back({object, 0, {}, {}});
    return true;
  }
  bool Leave() {
    levels_.pop_back();
    return Value();
  }

  std::vector<Level> levels_;
};

}  // namespace

std::vector<std::string> RepeatedKeys(const std::string& text) {
  KeyRepeats found;
  (void)json::sax_parse(text, &found, json::input_format_t::json, /*strict=*/false);
  return std::move(found.repeats);
}

}  // namespace quillmark::tools
