#include "platform/Memory.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace platform {

void* AllocateOnHugePages(size_t bytes) {
#if defined(__linux__)
  constexpr size_t kHugePage = size_t{2} << 20;
  if (bytes < 2 * kHugePage) return nullptr;
  const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory) madvise(memory, rounded, MADV_HUGEPAGE);
  return memory;
#else
  (void)bytes;
  return nullptr;
#endif
}

}  // namespace platform
