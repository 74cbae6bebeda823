#pragma once
// Compressed archive comments. libarchive does not read service headers, so the comment's packed
// bytes are wrapped in a one-entry archive of the same format and unpacked from memory.
#include <string>

#include "RarBlocks.h"

namespace unrar_standin {

// The text of volume.packedComment; false when it cannot be unpacked.
bool UnpackComment(const VolumeInfo& volume, std::string& text);

}  // namespace unrar_standin
