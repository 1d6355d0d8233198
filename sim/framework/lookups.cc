// The framework's lookups by text key: game functions, fields and bit fields of game objects,
// answered by the world, where an unknown key is fatal as in the framework.
#include "sim/framework/framework.h"

LPVOID GetAddress(const std::string& name) { return sim::face::FunctionAddress(name); }

LPVOID GetDataAddress(const std::string& name) { return sim::face::DataAddress(name); }

DWORD64 GetAddress(const void* base, const std::string& name) {
  return sim::face::FieldAddress(base, name);
}

BitField GetBitField(const void* base, const std::string& name) {
  const sim::face::BitPlace place = sim::face::BitFieldOf(base, name);
  BitField field{};
  field.offset = place.word;
  field.bit_position = static_cast<DWORD>(place.bit);
  field.num_bits = place.width;
  field.length = sizeof(DWORD);
  return field;
}

BitField GetBitField(LPVOID base, const std::string& name) {
  return GetBitField(static_cast<const void*>(base), name);
}
