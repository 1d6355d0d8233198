// Reading a record with the JSON library's event interface: the members the tools use are kept
// as they go by, everything else passed over, so that no document is built for a line.
#include "tools/journal/record.h"

#include "host/libraries.h"

namespace quillmark::tools {
namespace {

using nlohmann::json;

class RecordReader : public nlohmann::json_sax<json> {
 public:
  explicit RecordReader(JournalRecord& record) : record_(record) {}

  bool null() override { return Done(); }
  bool boolean(bool value) override {
    if (depth_ == 1 && key_ == Key::kAdmin) record_.admin = value;
    return Done();
  }
  bool number_integer(number_integer_t value) override {
    return value >= 0 ? number_unsigned(static_cast<number_unsigned_t>(value)) : Done();
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (depth_ == 1) {
      if (key_ == Key::kSeq) record_.seq = value;
      if (key_ == Key::kCount) record_.count = value;
    } else if (depth_ == 2 && in_refused_) {
      if (key_ == Key::kPart) record_.refused_part = value;
      if (key_ == Key::kOf) record_.refused_of = value;
    }
    return Done();
  }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return Done(); }
  bool string(string_t& value) override {
    if (std::string* field = StringField()) field->swap(value);
    return Done();
  }
  bool binary(binary_t& /*value*/) override { return Done(); }
  bool start_object(std::size_t /*elements*/) override {
    in_refused_ = depth_ == 1 && key_ == Key::kRefused;
    ++depth_;
    key_ = Key::kOther;
    return true;
  }
  bool end_object() override {
    --depth_;
    if (depth_ == 1) in_refused_ = false;
    key_ = Key::kOther;
    return true;
  }
  bool start_array(std::size_t /*elements*/) override {
    if (depth_ == 0) return false;  // a record is an object
    ++depth_;
    key_ = Key::kOther;
    return true;
  }
  bool end_array() override {
    --depth_;
    key_ = Key::kOther;
    return true;
  }
  bool key(string_t& name) override {
    key_ = Key::kOther;
    if (depth_ == 1) {
      key_ = KeyOf(name);
    } else if (depth_ == 2 && in_refused_) {
      if (name == "part") key_ = Key::kPart;
      if (name == "of") key_ = Key::kOf;
      if (name == "command") key_ = Key::kRefusedCommand;
    }
    return true;
  }
  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) override {
    return false;
  }

 private:
  enum class Key {
    kOther,
    kSeq,
    kTime,
    kServer,
    kSource,
    kEvent,
    kPlayer,
    kEosid,
    kAdmin,
    kClient,
    kCommand,
    kDecision,
    kRule,
    kRefused,
    kPart,
    kOf,
    kRefusedCommand,
    kCount,
    kFrom,
    kTo,
    kNote,
    kPrev
  };

  static Key KeyOf(const std::string& name) {
    static const std::pair<std::string_view, Key> kKeys[] = {
        {"seq", Key::kSeq},         {"time", Key::kTime},         {"server", Key::kServer},
        {"source", Key::kSource},   {"event", Key::kEvent},       {"player", Key::kPlayer},
        {"eosid", Key::kEosid},     {"admin", Key::kAdmin},       {"client", Key::kClient},
        {"command", Key::kCommand}, {"decision", Key::kDecision}, {"rule", Key::kRule},
        {"refused", Key::kRefused}, {"count", Key::kCount},       {"from", Key::kFrom},
        {"to", Key::kTo},           {"note", Key::kNote},         {"prev", Key::kPrev}};
    for (const auto& [text, key] : kKeys) {
      if (name == text) return key;
    }
    return Key::kOther;
  }

  std::string* StringField() {
    if (depth_ == 2 && in_refused_) {
      return key_ == Key::kRefusedCommand ? &record_.refused_command : nullptr;
    }
    if (depth_ != 1) return nullptr;
    switch (key_) {
      case Key::kTime:
        return &record_.time;
      case Key::kServer:
        return &record_.server;
      case Key::kSource:
        return &record_.source;
      case Key::kEvent:
        return &record_.event;
      case Key::kPlayer:
        return &record_.player;
      case Key::kEosid:
        return &record_.eosid;
      case Key::kClient:
        return &record_.client;
      case Key::kCommand:
        return &record_.command;
      case Key::kDecision:
        return &record_.decision;
      case Key::kRule:
        return &record_.rule;
      case Key::kFrom:
        return &record_.from;
      case Key::kTo:
        return &record_.to;
      case Key::kNote:
        return &record_.note;
      case Key::kPrev:
        return &record_.prev;
      default:
        return nullptr;
    }
  }

  // A value at the top level is no object.
  bool Done() {
    key_ = Key::kOther;
    return depth_ > 0;
  }

  JournalRecord& record_;
  int depth_ = 0;
  bool in_refused_ = false;
  Key key_ = Key::kOther;
};

}  // namespace

// Emptied in place, so that reading line after line into one record reuses its buffers.
void JournalRecord::Clear() {
  for (std::string* text : {&time, &server, &source, &event, &player, &eosid, &client, &command,
                            &decision, &rule, &refused_command, &from, &to, &note, &prev}) {
    text->clear();
  }
  seq.reset();
  admin.reset();
  refused_part.reset();
  refused_of.reset();
  count.reset();
}

bool ParseRecord(std::string_view line, JournalRecord& record) {
  record.Clear();
  RecordReader reader(record);
  try {
    return json::sax_parse(line.begin(), line.end(), &reader, json::input_format_t::json, true);
  } catch (const std::exception&) {
    return false;  // the library's own checks (depth, sizes) speak in exceptions
  }
}

}  // namespace quillmark::tools
