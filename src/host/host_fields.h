// Reading fields of game objects, which the host gives by key as addresses. The offset of a
// field within its class is fixed for the life of the process, so a caller looks it up once and
// reads later objects at that offset: a lookup by key costs more than the read.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "host/host.h"

namespace quillmark {

// The offset of the field `key` ("Class.Field") within `object`'s class.
inline std::uint64_t FieldOffset(const void* object, const std::string& key) {
  return static_cast<std::uint64_t>(GetAddress(object, key)) -
         reinterpret_cast<std::uint64_t>(object);
}

// The value of type T at `offset` within `object`.
template <typename T>
T Field(const void* object, std::uint64_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(object) + offset, sizeof value);
  return value;
}

// The FString at `offset` within `object`, in place.
inline const FString& StringField(const void* object, std::uint64_t offset) {
  return *reinterpret_cast<const FString*>(reinterpret_cast<const unsigned char*>(object) + offset);
}

}  // namespace quillmark
