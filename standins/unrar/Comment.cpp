#include "Comment.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/LittleEndian.h"

namespace unrar_standin {
namespace {

void PutVint(std::string& out, uint64_t value) {
  do {
    const auto low = static_cast<char>(value & 0x7F);
    value >>= 7;
    out += static_cast<char>(low | (value ? 0x80 : 0));
  } while (value);
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Type, flags and fields of a RAR 4 block, with its size and header CRC in front.
std::string Block4(unsigned type, unsigned flags, const std::string& fields) {
  std::string header;
  platform::AppendLe(header, type, 1);
  platform::AppendLe(header, flags, 2);
  platform::AppendLe(header, fields.size() + 7, 2);
  header += fields;
  std::string block;
  platform::AppendLe(block, Crc(header) & 0xFFFF, 2);
  return block + header;
}

std::string Wrap4(const FileEntry& e, const std::string& packed) {
  std::string fields;
  platform::AppendLe(fields, e.packSize, 4);
  platform::AppendLe(fields, e.unpSize, 4);
  platform::AppendLe(fields, e.hostOS, 1);
  platform::AppendLe(fields, e.crc, 4);
  platform::AppendLe(fields, e.dosTime, 4);
  platform::AppendLe(fields, e.unpVer, 1);
  platform::AppendLe(fields, e.method, 1);
  platform::AppendLe(fields, 3, 2);
  platform::AppendLe(fields, 0x20, 4);
  fields += "CMT";
  return std::string("Rar!\x1A\x07\x00", 7) + Block4(0x73, 0, std::string(6, '\0')) +
         Block4(0x74, 0x8000 | (e.dictCode & 7) << 5, fields) + packed +
         Block4(0x7B, 0x4000, std::string());
}

// Type, flags and fields of a RAR 5 block, with its CRC and size in front.
std::string Block5(uint64_t type, uint64_t flags, const std::string& fields, uint64_t dataSize) {
  std::string header;
  PutVint(header, type);
  PutVint(header, flags);
  if (flags & 0x02) PutVint(header, dataSize);
  header += fields;
  std::string sized;
  PutVint(sized, header.size());
  sized += header;
  std::string block;
  platform::AppendLe(block, Crc(sized), 4);
  return block + sized;
}

std::string Wrap5(const FileEntry& e, const std::string& packed) {
  std::string main;
  PutVint(main, 0);
  std::string file;
  PutVint(file, 0x04);  // the CRC is present
  PutVint(file, e.unpSize);
  PutVint(file, 0x20);
  platform::AppendLe(file, e.crc, 4);
  PutVint(file, e.compression);
  PutVint(file, 0);
  PutVint(file, 3);
  file += "CMT";
  std::string end;
  PutVint(end, 0);
  return std::string("Rar!\x1A\x07\x01\x00", 8) + Block5(1, 0, main, 0) +
         Block5(2, 0x02, file, packed.size()) + packed + Block5(5, 0, end, 0);
}

}  // namespace

bool UnpackComment(const VolumeInfo& volume, std::string& text) {
  const FileEntry& e = volume.packedComment;
  if (!volume.commentPacked || !e.hasCrc) return false;
  std::string packed(static_cast<size_t>(e.packSize), '\0');
  const int fd = open(volume.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool read = pread(fd, packed.data(), packed.size(), static_cast<off_t>(e.dataOffset)) ==
                    static_cast<ssize_t>(packed.size());
  close(fd);
  if (!read) return false;
  const std::string wrapped =
      volume.format == RarFormat::Rar4 ? Wrap4(e, packed) : Wrap5(e, packed);

  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  archive_entry* entry = nullptr;
  text.assign(static_cast<size_t>(e.unpSize), '\0');
  const bool ok =
      archive_read_open_memory(a, wrapped.data(), wrapped.size()) == ARCHIVE_OK &&
      archive_read_next_header(a, &entry) == ARCHIVE_OK &&
      archive_read_data(a, text.data(), text.size()) == static_cast<la_ssize_t>(text.size());
  archive_read_free(a);
  // libarchive checks the CRC of what it unpacks, but never hurts to be sure.
  return ok && Crc(text) == e.crc;
}

}  // namespace unrar_standin
