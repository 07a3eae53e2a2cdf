#include "mpeg/video/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif
#include <cstring>

namespace corvexa::mpeg {

std::uint32_t detect_cpu() {
  std::uint32_t features = 0;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid(0, a, b, c, d);
  features |= 1u;
  char vendor[13];
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  vendor[12] = '\0';
  unsigned model = 0;
  if (a != 0) {
    features |= 1u << 1;
    __cpuid(1, a, b, c, d);
    model = a & 0xFFFu;
    if (d & (1u << 4)) features |= 1u << 4;
    if (d & (1u << 23)) features |= 1u << 5;
    if (d & (1u << 15)) features |= 1u << 6;
    if (d & (1u << 12)) features |= 1u << 12;
    // x86-64 always executes SSE, so no fault guard is needed.
    if (d & (1u << 25)) features |= (1u << 9) | (1u << 10);
  }
  __cpuid(0x80000000u, a, b, c, d);
  if (a > 0x80000000u) {
    features |= 1u << 2;
    __cpuid(0x80000001u, a, b, c, d);
    if (d & (1u << 31)) features |= 1u << 7;
    if (std::strcmp(vendor, "AuthenticAMD") == 0) {
      if (d & (1u << 30)) features |= 1u << 8;
      if (d & (1u << 22)) features |= 1u << 9;
      if (model >= 0x588 && model <= 0x5FF) features |= 1u << 11;
    }
  }
#endif
  return features;
}

int kernel_class(std::uint32_t features) {
  int cls = 0;
  if (features & (1u << 9))
    cls = 3;
  else if (features & (1u << 5))
    cls = 1;
  if (features & (1u << 8))
    cls = 4;
  else if (features & (1u << 7))
    cls = 2;
  return cls;
}

}  // namespace corvexa::mpeg
