#pragma once
// ZIP writers for the tests and benches. BuildZip makes the bytes by hand: stored or deflated
// entries, traditional encryption, chosen host and flags, links, a damaged CRC, data before the
// archive, hand-set end record fields and a ZIP64 end record. WriteZip and ZipFileWriter write an
// ordinary package file through libarchive, as an archiver would.
#include <zlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct archive;

namespace ziptest {

struct ZipEntry {
  std::string name;
  std::string data;
  bool deflate = false;
  uint16_t flags = 0;        // general-purpose flags besides the encryption bit
  uint16_t madeBy = 0x031E;  // host 3 (Unix), version 3.0
  uint32_t externalAttributes = 0100644u << 16;
  std::string password;     // traditional encryption when not empty
  bool badCrc = false;      // store a wrong CRC-32
  int64_t listedSize = -1;  // the uncompressed size the headers give; -1: the data's own
  std::string comment;
  uint16_t dosTime = 0x6000;                     // 12:00:00
  uint16_t dosDate = (40 << 9) | (6 << 5) | 15;  // 2020-06-15
};

inline ZipEntry FileEntry(const std::string& name, const std::string& data, bool deflate = false) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  e.deflate = deflate;
  return e;
}

inline ZipEntry SymlinkEntry(const std::string& name, const std::string& target) {
  ZipEntry e;
  e.name = name;
  e.data = target;
  e.externalAttributes = 0120777u << 16;
  return e;
}

struct ZipLayout {
  std::string prefix;  // bytes before the archive; offsets are not adjusted
  std::string comment;
  uint16_t thisDisk = 0;
  uint16_t centralDisk = 0;
  int totalEntries = -1;           // -1: the real count
  int64_t centralSizeDelta = 0;    // added to the recorded central directory size
  int64_t centralOffsetDelta = 0;  // added to the recorded central directory offset
  int commentLength = -1;          // -1: the real comment length
  std::string trailer;             // bytes after the comment
  bool zip64End = false;           // a ZIP64 end record and its locator before the end record
  bool zip64Only = false;  // with zip64End: counts, size and offset only in the ZIP64 record
};

// What BuildZip produced besides the bytes, for tests that cut or patch archives.
struct ZipParts {
  std::string local;    // prefix + local headers and data
  std::string central;  // the central directory
  std::string end;      // end record + comment + trailer
  std::string Bytes() const { return local + central + end; }
};

namespace detail {

inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

inline uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// Traditional PKWARE encryption.
class ZipCrypto {
 public:
  explicit ZipCrypto(const std::string& password) {
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  std::string Encrypt(const std::string& plain) {
    std::string out;
    for (char c : plain) {
      const auto p = static_cast<uint8_t>(c);
      const uint32_t t = (k2_ | 2) & 0xFFFF;
      out += static_cast<char>(p ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8));
      Update(p);
    }
    return out;
  }

 private:
  void Update(uint8_t c) {
    k0_ = CrcStep(k0_, c);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = CrcStep(k2_, static_cast<uint8_t>(k1_ >> 24));
  }
  uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

inline std::string RawDeflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  return out;
}

}  // namespace detail

inline ZipParts BuildZipParts(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {}) {
  using detail::Put16;
  using detail::Put32;
  ZipParts parts;
  parts.local = layout.prefix;
  for (const ZipEntry& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(parts.local.size() - layout.prefix.size());
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
    std::string payload = e.deflate ? detail::RawDeflate(e.data) : e.data;
    uint16_t flags = e.flags;
    if (!e.password.empty()) {
      flags |= 1;
      detail::ZipCrypto crypto(e.password);
      std::string header = "\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB";
      header += static_cast<char>(crc >> 24);  // check byte
      payload = crypto.Encrypt(header + payload);
    }
    if (e.badCrc) crc ^= 0xA5A5A5A5u;
    const uint16_t method = e.deflate ? 8 : 0;
    std::string local;
    Put32(local, 0x04034B50);
    Put16(local, 20);
    Put16(local, flags);
    Put16(local, method);
    Put16(local, e.dosTime);
    Put16(local, e.dosDate);
    Put32(local, crc);
    Put32(local, static_cast<uint32_t>(payload.size()));
    const auto listed = static_cast<uint32_t>(e.listedSize >= 0 ? e.listedSize : e.data.size());
    Put32(local, listed);
    Put16(local, static_cast<uint32_t>(e.name.size()));
    Put16(local, 0);
    parts.local += local + e.name + payload;

    std::string& c = parts.central;
    Put32(c, 0x02014B50);
    Put16(c, e.madeBy);
    Put16(c, 20);
    Put16(c, flags);
    Put16(c, method);
    Put16(c, e.dosTime);
    Put16(c, e.dosDate);
    Put32(c, crc);
    Put32(c, static_cast<uint32_t>(payload.size()));
    Put32(c, listed);
    Put16(c, static_cast<uint32_t>(e.name.size()));
    Put16(c, 0);
    Put16(c, static_cast<uint32_t>(e.comment.size()));
    Put16(c, 0);
    Put16(c, 0);
    Put32(c, e.externalAttributes);
    Put32(c, offset);
    c += e.name + e.comment;
  }
  const int total =
      layout.totalEntries >= 0 ? layout.totalEntries : static_cast<int>(entries.size());
  const auto centralSize =
      static_cast<uint32_t>(static_cast<int64_t>(parts.central.size()) + layout.centralSizeDelta);
  const auto centralOffset = static_cast<uint32_t>(
      static_cast<int64_t>(parts.local.size() - layout.prefix.size()) + layout.centralOffsetDelta);
  std::string& end = parts.end;
  if (layout.zip64End) {
    const auto Put64 = [](std::string& s, uint64_t v) {
      Put32(s, static_cast<uint32_t>(v));
      Put32(s, static_cast<uint32_t>(v >> 32));
    };
    const uint64_t recordAt = centralOffset + parts.central.size();
    Put32(end, 0x06064B50);
    Put64(end, 44);  // the size of what follows
    Put16(end, 0x032D);
    Put16(end, 45);
    Put32(end, layout.thisDisk);
    Put32(end, layout.centralDisk);
    Put64(end, static_cast<uint64_t>(total));
    Put64(end, static_cast<uint64_t>(total));
    Put64(end, centralSize);
    Put64(end, centralOffset);
    Put32(end, 0x07064B50);
    Put32(end, layout.centralDisk);
    Put64(end, recordAt);
    Put32(end, 1);
  }
  const bool only64 = layout.zip64End && layout.zip64Only;
  Put32(end, 0x06054B50);
  Put16(end, layout.thisDisk);
  Put16(end, layout.centralDisk);
  Put16(end, only64 ? 0xFFFF : static_cast<uint32_t>(total));
  Put16(end, only64 ? 0xFFFF : static_cast<uint32_t>(total));
  Put32(end, only64 ? 0xFFFFFFFF : centralSize);
  Put32(end, only64 ? 0xFFFFFFFF : centralOffset);
  Put16(end,
        static_cast<uint32_t>(layout.commentLength >= 0 ? layout.commentLength
                                                        : static_cast<int>(layout.comment.size())));
  end += layout.comment + layout.trailer;
  return parts;
}

inline std::string BuildZip(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {}) {
  return BuildZipParts(entries, layout).Bytes();
}

using Files = std::vector<std::pair<std::string, std::string>>;  // name, bytes

struct ZipFileOptions {
  bool store = false;            // no compression
  std::optional<int64_t> mtime;  // every entry's time stamp; libarchive's default when unset
};

// A package written entry by entry; an entry's data may come in pieces, so a large one need not
// be held in memory. Closed by Close() or the destructor.
class ZipFileWriter {
 public:
  explicit ZipFileWriter(const std::string& path, const ZipFileOptions& options = {});
  ~ZipFileWriter();
  ZipFileWriter(const ZipFileWriter&) = delete;
  ZipFileWriter& operator=(const ZipFileWriter&) = delete;

  void AddHeader(const std::string& name, size_t size);
  void AddData(const std::string& data);
  void Add(const std::string& name, const std::string& data) {
    AddHeader(name, data.size());
    AddData(data);
  }
  void Close();

 private:
  archive* archive_;
  ZipFileOptions options_;
};

// A package holding files in the given order.
void WriteZip(const std::string& path, const Files& files, const ZipFileOptions& options = {});

}  // namespace ziptest
