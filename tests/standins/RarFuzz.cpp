// libFuzzer target for the stand-in's RAR block-header reader: any bytes as a volume file, then
// every entry it reports walked field by field. Run by hand (see CMakeLists.txt).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "standins/unrar/RarBlocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("rar-fuzz", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    return 0;
  unrar_standin::VolumeInfo volume;
  if (unrar_standin::ScanVolume("/proc/self/fd/" + std::to_string(fd), volume) != 0) return 0;
  uint64_t sum = volume.comment.size();
  for (const unrar_standin::FileEntry& entry : volume.entries) {
    // Everything a header reports must lie inside the file.
    if (entry.dataOffset > volume.fileSize || entry.packSize > volume.fileSize - entry.dataOffset)
      __builtin_trap();
    sum += entry.name.size() + entry.nameW.size() + entry.dictKiB;
  }
  return sum == 0xFFFFFFFFFFFFFFFFull ? 1 : 0;
}
