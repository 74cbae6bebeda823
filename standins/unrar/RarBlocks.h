#pragma once
// Reads the block headers of one RAR 4 or RAR 5 volume file (both formats are publicly
// documented): archive flags, the stored archive comment, every file header with the fields the
// header record carries and where its data lies, and how the volume ends. libarchive exposes too
// little of this, so the library reads the headers itself and uses libarchive only to unpack.
#include <cstdint>
#include <string>
#include <vector>

namespace unrar_standin {

enum class RarFormat { Rar4, Rar5 };

struct FileEntry {
  std::string name;  // UTF-8, '/' separated
  std::wstring nameW;
  bool folder = false;
  bool splitBefore = false;
  bool splitAfter = false;
  bool encrypted = false;
  bool solid = false;
  bool notRegular = false;  // link or device: never written
  bool hasCrc = false;
  bool blake2 = false;
  bool unknownSize = false;
  unsigned hostOS = 0;          // as the header record has it: 2 Windows, 3 Unix or anything else
  bool unixAttributes = false;  // attributes are a Unix mode
  uint32_t crc = 0;
  uint32_t dosTime = 0;   // local time
  int64_t unixTime = -1;  // exact modification time when the archive gives one
  unsigned unpVer = 0;
  unsigned method = 0x30;  // 0x30 stored .. 0x35 best
  uint32_t attributes = 0;
  unsigned dictCode = 0;  // 0..6: 64 KiB << code; 7: a folder
  unsigned dictKiB = 0;
  unsigned redirType = 0;
  std::string redirTarget;  // UTF-8, as stored
  uint8_t hash[32] = {};
  uint64_t packSize = 0;
  uint64_t unpSize = 0;
  uint64_t dataOffset = 0;  // in its volume file
  uint64_t headerOffset = 0;
  std::string libarchiveHeader;  // the header as libarchive is shown it, when it differs
  uint64_t compression = 0;      // RAR 5 compression information as stored
  size_t ordinal = 0;  // place among the entries that start in this archive (libarchive's order)
};

enum class VolumeEnd { EndBlock, EndOfFile, Broken, EncryptedHeaders, Truncated };

struct VolumeInfo {
  std::string path;
  std::string expectedPath;  // the name the volume was looked for under (path may be an answer)
  uint64_t device = 0, inode = 0;
  RarFormat format = RarFormat::Rar4;
  unsigned archiveFlags = 0;  // ROADF_* bits
  std::vector<FileEntry> entries;
  VolumeEnd end = VolumeEnd::EndOfFile;
  bool nextVolume = false;  // the end block says that another volume follows
  uint64_t endBlockOffset = 0;
  uint64_t fileSize = 0;
  bool hasComment = false;
  bool commentReadable = false;  // stored, so its text is known
  std::string comment;
  bool commentPacked = false;  // compressed: packedComment says where and how
  FileEntry packedComment;
};

// 0, or ERAR_EOPEN when the file cannot be read, ERAR_BAD_ARCHIVE when it is no RAR archive.
int ScanVolume(const std::string& path, VolumeInfo& out);

// Whether another volume follows this one.
bool HasNextVolume(const VolumeInfo& volume);

}  // namespace unrar_standin
