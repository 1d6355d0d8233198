// Why this exists: std::exception belongs to vcruntime140.dll's headers, not to the STL. Its
// layout is part of the ABI every module shares when an exception crosses a DLL boundary: a
// virtual table pointer, then the message pointer and whether the exception owns the message.
#pragma once
#include <eh.h>

#ifdef __cplusplus
#pragma pack(push, _CRT_PACKING)

extern "C" {
struct __std_exception_data {
  char const* _What;
  bool _DoFree;
};
// vcruntime140.dll copies (owning) or releases a message.
_VCRTIMP void __cdecl __std_exception_copy(__std_exception_data const* from,
                                           __std_exception_data* to);
_VCRTIMP void __cdecl __std_exception_destroy(__std_exception_data* data);
}

namespace std {

class exception {
 public:
  exception() noexcept : _Data() {}
  explicit exception(char const* const message) noexcept : _Data() {
    __std_exception_data owned = {message, true};
    __std_exception_copy(&owned, &_Data);
  }
  // A message with static storage, not copied.
  exception(char const* const message, int) noexcept : _Data() { _Data._What = message; }
  exception(exception const& other) noexcept : _Data() {
    __std_exception_copy(&other._Data, &_Data);
  }
  exception& operator=(exception const& other) noexcept {
    if (this != &other) {
      __std_exception_destroy(&_Data);
      __std_exception_copy(&other._Data, &_Data);
    }
    return *this;
  }
  virtual ~exception() noexcept { __std_exception_destroy(&_Data); }
  [[nodiscard]] virtual char const* what() const {
    return _Data._What != nullptr ? _Data._What : "Unknown exception";
  }

 private:
  __std_exception_data _Data;
};

class bad_exception : public exception {
 public:
  bad_exception() noexcept : exception("bad exception", 1) {}
};

class bad_alloc : public exception {
 public:
  bad_alloc() noexcept : exception("bad allocation", 1) {}

 private:
  friend class bad_array_new_length;
  explicit bad_alloc(char const* const message) noexcept : exception(message, 1) {}
};

class bad_array_new_length : public bad_alloc {
 public:
  bad_array_new_length() noexcept : bad_alloc("bad array new length") {}
};

}  // namespace std

#pragma pack(pop)
#endif  // __cplusplus
