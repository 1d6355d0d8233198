// Why this exists: ::type_info and std::bad_cast / std::bad_typeid come from vcruntime's headers.
// type_info's layout (virtual table pointer, cached undecorated name, decorated name) is what
// clang's RTTI descriptors point at and what vcruntime140.dll's comparison functions read.
#pragma once
#include <vcruntime_exception.h>

#pragma pack(push, _CRT_PACKING)
extern "C" {
struct __type_info_node;
// Each module's cache of undecorated names, emptied when the module goes away (crt/).
extern __type_info_node __type_info_root_node;

struct __std_type_info_data {
  char const* _UndecoratedName;
  char const _DecoratedName[1];
  __std_type_info_data() = delete;
  __std_type_info_data(const __std_type_info_data&) = delete;
  __std_type_info_data& operator=(const __std_type_info_data&) = delete;
};
_VCRTIMP int __cdecl __std_type_info_compare(const __std_type_info_data* left,
                                             const __std_type_info_data* right);
_VCRTIMP size_t __cdecl __std_type_info_hash(const __std_type_info_data* data);
_VCRTIMP char const* __cdecl __std_type_info_name(__std_type_info_data* data,
                                                  __type_info_node* root);
}

class type_info {
 public:
  type_info(const type_info&) = delete;
  type_info& operator=(const type_info&) = delete;

  size_t hash_code() const noexcept { return __std_type_info_hash(&_Data); }
  bool operator==(const type_info& other) const noexcept {
    return this == &other || __std_type_info_compare(&_Data, &other._Data) == 0;
  }
  bool before(const type_info& other) const noexcept {
    return __std_type_info_compare(&_Data, &other._Data) < 0;
  }
  const char* name() const noexcept { return __std_type_info_name(&_Data, &__type_info_root_node); }
  const char* raw_name() const noexcept { return _Data._DecoratedName; }
  // Defined, with the virtual table, by the start-up library (crt/type_info.cc).
  virtual ~type_info() noexcept;

 private:
  mutable __std_type_info_data _Data;
};

namespace std {
using ::type_info;

class bad_cast : public exception {
 public:
  bad_cast() noexcept : exception("bad cast", 1) {}
  static bad_cast __construct_from_string_literal(const char* const message) noexcept {
    return bad_cast(message, 1);
  }

 private:
  bad_cast(const char* const message, int) noexcept : exception(message, 1) {}
};

class bad_typeid : public exception {
 public:
  bad_typeid() noexcept : exception("bad typeid", 1) {}
  static bad_typeid __construct_from_string_literal(const char* const message) noexcept {
    return bad_typeid(message, 1);
  }

 private:
  friend class __non_rtti_object;
  bad_typeid(const char* const message, int) noexcept : exception(message, 1) {}
};

class __non_rtti_object : public bad_typeid {
 public:
  static __non_rtti_object __construct_from_string_literal(const char* const message) noexcept {
    return __non_rtti_object(message, 1);
  }

 private:
  __non_rtti_object(const char* const message, int) noexcept : bad_typeid(message, 1) {}
};

}  // namespace std
#pragma pack(pop)
