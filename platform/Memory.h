#pragma once
// Memory placement hints the system may or may not offer.
#include <cstddef>

namespace platform {

// Memory for a buffer of bytes, placed on huge pages where the system has them: a large bitmap
// otherwise costs one page fault every 4 KiB, a good part of the time spent filling it.
// Released with std::free. Null when the buffer is too small to gain from it, the system offers
// no such hint or memory is short; the caller then allocates as usual.
void* AllocateOnHugePages(size_t bytes);

}  // namespace platform
