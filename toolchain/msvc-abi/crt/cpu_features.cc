// Why this exists: the STL's bit operations choose their instructions by __isa_available, which
// Visual Studio's start-up code sets from the processor's features before any initializer runs.
#include "startup.h"

namespace {

void Cpuid(int registers[4], int leaf, int subleaf) {
  asm volatile("cpuid"
               : "=a"(registers[0]), "=b"(registers[1]), "=c"(registers[2]), "=d"(registers[3])
               : "a"(leaf), "c"(subleaf));
}

unsigned long long EnabledStateComponents() {
  unsigned low = 0;
  unsigned high = 0;
  asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<unsigned long long>(high) << 32) | low;
}

// The values of __isa_available, in increasing order of what the processor offers.
enum Isa { kIsaX86 = 0, kIsaSse2 = 1, kIsaSse42 = 2, kIsaAvx = 3, kIsaAvx2 = 5 };

}  // namespace

extern "C" {
int __isa_available = kIsaSse2;  // every x64 processor has SSE2
long __isa_enabled = (1 << kIsaX86) | (1 << kIsaSse2);
int __favor = 0;

void __cdecl __quillmark_read_cpu_features(void) {
  int registers[4];
  Cpuid(registers, 0, 0);
  const int highest_leaf = registers[0];
  Cpuid(registers, 1, 0);
  const int features = registers[2];
  if ((features & (1 << 20)) != 0) {  // SSE4.2
    __isa_available = kIsaSse42;
    __isa_enabled |= 1 << kIsaSse42;
  }
  // AVX needs the processor's support and the system's saving of the YMM state.
  const bool avx = (features & (1 << 27)) != 0 && (features & (1 << 28)) != 0 &&
                   (EnabledStateComponents() & 6) == 6;
  if (!avx) return;
  __isa_available = kIsaAvx;
  __isa_enabled |= 1 << kIsaAvx;
  if (highest_leaf < 7) return;
  Cpuid(registers, 7, 0);
  if ((registers[1] & (1 << 5)) != 0) {  // AVX2
    __isa_available = kIsaAvx2;
    __isa_enabled |= 1 << kIsaAvx2;
  }
}
}
