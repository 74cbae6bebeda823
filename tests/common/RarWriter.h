#pragma once
// Writes small RAR 4 and RAR 5 archives with stored (uncompressed) entries, following the public
// descriptions of both formats, so the RAR tests need no archives from elsewhere. Supports
// folders, either separator, header CRCs, split volumes, archive flags and a few deliberately
// damaged forms.
#include <cstdint>
#include <string>
#include <vector>

namespace rartest {

struct Item {
  std::string name;  // as stored: '/' or '\' separators, UTF-8
  std::string data;
  bool folder = false;
  uint32_t dosTime = 0x5A6B7C00;   // RAR 4 stamp: 2025-03-11 15:32:00
  uint32_t unixTime = 1700000000;  // RAR 5 stamp
  uint32_t attributes = 0x20;
  unsigned hostOS = 2;  // RAR 4 numbering (2 Windows, 3 Unix); RAR 5 maps 2 to 0 and 3 to 1
  unsigned dictionary =
      0;  // RAR 4 dictionary code 0..6 (64 KiB << code); RAR 5 code (128 KiB << code)
  unsigned unpVer = 29;             // RAR 4 only
  bool encrypted = false;           // marked encrypted; the data is left as given
  bool solid = false;               // entry flagged solid
  bool damageData = false;          // first data byte flipped after the CRC was taken
  bool damageHeader = false;        // header CRC off by one
  bool encodedUnicodeName = false;  // RAR 4: name as ASCII fallback plus the encoded wide form
  std::string packed = "";   // compressed data to store instead of data (sizes and CRC from data)
  unsigned method = 0x30;    // with packed: RAR 4 method byte
  uint64_t compression = 0;  // with packed: RAR 5 compression information
  std::string linkTarget = "";  // a link to this (RAR 4: as data; RAR 5: redirection)
  unsigned redirType = 1;    // RAR 5: 1 Unix link, 2 Windows link, 3 junction, 4 hard link, 5 copy
  uint32_t highUnpSize = 0;  // RAR 4: large-file header with this high half of the unpacked size
};

struct Options {
  bool solid = false;
  bool locked = false;
  bool recovery = false;
  bool encryptedHeaders = false;  // the headers after the main header cannot be read
  bool withEndBlock = true;
  std::string comment;     // stored archive comment in a service block, empty for none
  std::string oldComment;  // RAR 4 only: a stored comment inside the main header, as RAR 2 kept it
  Item packedComment;      // a compressed archive comment, when its packed is not empty
  size_t volumeSize = 0;   // split into volumes of about this many data bytes; 0: one file
  bool oldNumbering = false;  // RAR 4 volumes named .rar, .r00, .r01 instead of .partN.rar
};

// One archive, or its volumes in order.
std::vector<std::string> WriteRar4(const std::vector<Item>& items, const Options& options = {});
std::vector<std::string> WriteRar5(const std::vector<Item>& items, const Options& options = {});

// Writes the volumes to folder/base (".rar" or ".partN.rar" names as the options ask) and returns
// the paths in order.
std::vector<std::string> SaveVolumes(const std::vector<std::string>& volumes,
                                     const std::string& folder, const std::string& base,
                                     bool oldNumbering = false);

uint32_t Crc32(const std::string& data);

}  // namespace rartest
