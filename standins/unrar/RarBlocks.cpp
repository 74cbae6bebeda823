#include "RarBlocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

#include "Conversions.h"
#include "archives/RAR_DLL.h"
#include "platform/LittleEndian.h"
#include "platform/UniqueFd.h"

namespace unrar_standin {
namespace {

const char kSignature4[] = "Rar!\x1A\x07\x00";
const char kSignature5[] = "Rar!\x1A\x07\x01\x00";
constexpr uint64_t kMaxSfxSize = 4 << 20;      // how far a self-extracting stub may reach
constexpr uint64_t kMaxHeaderSize5 = 2 << 20;  // the RAR 5 limit on one header
constexpr size_t kMaxCommentSize = 1 << 20;

bool ReadAt(int fd, uint64_t offset, size_t size, std::string& out) {
  out.resize(size);
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, out.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

uint32_t Crc(const std::string& data, size_t from, size_t to) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data() + from), static_cast<uInt>(to - from)));
}

// Little-endian fields and RAR 5 variable-length integers, bounds-checked.
class Reader {
 public:
  Reader(const std::string& data, size_t pos, size_t end) : d_(data), pos_(pos), end_(end) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return ok_ ? end_ - pos_ : 0; }
  uint64_t Le(int bytes) {
    if (!Need(bytes)) return 0;
    const uint64_t v = platform::GetLe(d_.data() + pos_, bytes);
    pos_ += bytes;
    return v;
  }
  uint64_t Vint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 70; shift += 7) {
      if (!Need(1)) return 0;
      const auto b = static_cast<unsigned char>(d_[pos_++]);
      if (shift < 64) v |= uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) return v;
    }
    ok_ = false;
    return 0;
  }
  std::string Bytes(uint64_t n) {
    if (!Need(n)) return std::string();
    std::string s = d_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  void Skip(uint64_t n) {
    if (Need(n)) pos_ += n;
  }
  // The next n bytes as a reader of their own; this one moves past them.
  Reader Sub(uint64_t n) {
    Reader sub(d_, pos_, Need(n) ? pos_ + n : pos_);
    if (ok_) pos_ += n;
    return sub;
  }

 private:
  bool Need(uint64_t n) {
    if (!ok_ || n > end_ - pos_) ok_ = false;
    return ok_;
  }
  const std::string& d_;
  size_t pos_, end_;
  bool ok_ = true;
};

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (int k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// The wide form of a RAR 4 name that carries one after a zero byte: a high byte, then groups of
// four two-bit modes (one byte, one byte plus high byte, two bytes, or a run copied from the
// 8-bit name with an optional correction).
std::wstring DecodeRar4WideName(const std::string& narrow, const std::string& encoded) {
  std::wstring out;
  if (encoded.empty()) return out;
  size_t pos = 0;
  const auto at = [&](size_t i) { return static_cast<unsigned char>(encoded[i]); };
  const unsigned high = at(pos++);
  unsigned flags = 0;
  int flagBits = 0;
  constexpr size_t kMax = 1024;
  while (pos < encoded.size() && out.size() < kMax) {
    if (flagBits == 0) {
      flags = at(pos++);
      flagBits = 8;
      if (pos >= encoded.size()) break;
    }
    switch (flags >> 6) {
      case 0:
        out += static_cast<wchar_t>(at(pos++));
        break;
      case 1:
        out += static_cast<wchar_t>(at(pos++) | (high << 8));
        break;
      case 2:
        if (pos + 1 >= encoded.size()) return out;
        out += static_cast<wchar_t>(at(pos) | (at(pos + 1) << 8));
        pos += 2;
        break;
      default: {
        unsigned length = at(pos++);
        if (length & 0x80) {
          if (pos >= encoded.size()) return out;
          const unsigned correction = at(pos++);
          for (length = (length & 0x7F) + 2; length > 0 && out.size() < narrow.size(); --length) {
            const unsigned c = static_cast<unsigned char>(narrow[out.size()]);
            out += static_cast<wchar_t>(((c + correction) & 0xFF) | (high << 8));
          }
        } else {
          for (length += 2; length > 0 && out.size() < narrow.size(); --length)
            out += static_cast<wchar_t>(static_cast<unsigned char>(narrow[out.size()]));
        }
        break;
      }
    }
    flags = (flags << 2) & 0xFF;
    flagBits -= 2;
  }
  return out;
}

void SetNames(FileEntry& entry, const std::wstring& wide) {
  std::wstring w = wide;
  for (wchar_t& c : w)
    if (c == L'\\') c = L'/';
  entry.nameW = w;
  entry.name = WideToUtf8(w);
}

void ClassifyUnixMode(FileEntry& entry) {
  const uint32_t type = entry.attributes & 0xF000;
  if (entry.unixAttributes && !entry.folder && type != 0 && type != 0x8000) entry.notRegular = true;
  // As the real library reports it; the target lies in the data, so no name comes with it.
  if (entry.unixAttributes && type == 0xA000 && entry.redirType == 0) entry.redirType = 1;
}

// The header record knows two systems: DOS, OS/2, Windows and Mac OS hosts keep Windows
// attributes (2), Unix and BeOS hosts Unix modes (3); an unknown host is reported as 3 too.
void SetHost4(FileEntry& entry, unsigned host) {
  entry.unixAttributes = host == 3 || host == 5;
  entry.hostOS = host <= 2 || host == 4 ? 2 : 3;
}

// The archive comment's service header: its text when stored, else where to unpack it from.
void TakeComment(int fd, VolumeInfo& v, const FileEntry& e) {
  v.hasComment = true;
  v.archiveFlags |= ROADF_COMMENT;
  if (e.encrypted || e.packSize > kMaxCommentSize || e.unpSize > kMaxCommentSize) return;
  if (e.method == 0x30) {
    v.commentReadable = ReadAt(fd, e.dataOffset, static_cast<size_t>(e.packSize), v.comment);
  } else {
    v.commentPacked = true;
    v.packedComment = e;
  }
}

// RAR 4 file and service headers share one layout.
bool ParseFile4(const std::string& block, unsigned flags, FileEntry& e, std::string& rawName) {
  Reader r(block, 7, block.size());
  uint64_t pack = r.Le(4), unp = r.Le(4);
  SetHost4(e, static_cast<unsigned>(r.Le(1)));
  e.crc = static_cast<uint32_t>(r.Le(4));
  e.hasCrc = true;
  e.dosTime = static_cast<uint32_t>(r.Le(4));
  e.unpVer = static_cast<unsigned>(r.Le(1));
  e.method = static_cast<unsigned>(r.Le(1));
  const uint64_t nameSize = r.Le(2);
  e.attributes = static_cast<uint32_t>(r.Le(4));
  if (flags & 0x100) {
    pack |= r.Le(4) << 32;
    unp |= r.Le(4) << 32;
  }
  rawName = r.Bytes(nameSize);
  if (!r.ok()) return false;
  e.packSize = pack;
  e.unpSize = unp;
  e.splitBefore = flags & 0x01;
  e.splitAfter = flags & 0x02;
  e.encrypted = flags & 0x04;
  e.solid = flags & 0x10;
  e.dictCode = (flags >> 5) & 7;
  e.folder = e.dictCode == 7;
  e.dictKiB = e.folder ? 0 : 64u << e.dictCode;

  const size_t zero = rawName.find('\0');
  if ((flags & 0x200) && zero != std::string::npos) {
    const std::string narrow = rawName.substr(0, zero);
    SetNames(e, DecodeRar4WideName(narrow, rawName.substr(zero + 1)));
  } else if (ValidUtf8(rawName)) {
    SetNames(e, Utf8ToWide(rawName));
  } else {
    // An 8-bit name in an unknown code page: keep each byte as one character.
    std::wstring wide;
    for (unsigned char c : rawName) wide += static_cast<wchar_t>(c);
    SetNames(e, wide);
  }
  ClassifyUnixMode(e);
  return true;
}

int ScanRar4(int fd, uint64_t start, VolumeInfo& v) {
  uint64_t pos = start;
  bool first = true;
  std::string block;
  while (true) {
    if (pos == v.fileSize) {
      v.end = VolumeEnd::EndOfFile;
      return 0;
    }
    if (pos + 7 > v.fileSize || !ReadAt(fd, pos, 7, block)) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    Reader head(block, 0, 7);
    const auto crc = static_cast<uint32_t>(head.Le(2));
    const auto type = static_cast<unsigned>(head.Le(1));
    const auto flags = static_cast<unsigned>(head.Le(2));
    const auto size = static_cast<size_t>(head.Le(2));
    if (size < 7 || pos + size > v.fileSize || !ReadAt(fd, pos, size, block)) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    bool crcOk = (Crc(block, 2, size) & 0xFFFF) == crc;
    // An old main header with an embedded comment is checked over its fixed part only.
    if (!crcOk && type == 0x73 && size > 13) crcOk = (Crc(block, 2, 13) & 0xFFFF) == crc;
    if (!crcOk || (first && type != 0x73)) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    uint64_t dataSize = 0;
    const bool fileLike = type == 0x74 || type == 0x7A;
    if ((flags & 0x8000) || fileLike) {
      Reader r(block, 7, size);
      dataSize = r.Le(4);
      if (fileLike && (flags & 0x100)) {
        // Unpacked size, host, CRC, time, version, method, name size, attributes; then the high
        // halves of the packed and the unpacked size.
        r.Skip(4 + 1 + 4 + 4 + 1 + 1 + 2 + 4);
        dataSize |= r.Le(4) << 32;
      }
    }
    // Data that reaches past the end of the file: a truncated entry (or a damaged block).
    if (dataSize > v.fileSize - (pos + size)) {
      v.end = VolumeEnd::Truncated;
      return 0;
    }
    switch (type) {
      case 0x73: {
        static constexpr unsigned kMap[][2] = {
            {0x01, ROADF_VOLUME},   {0x02, ROADF_COMMENT},      {0x04, ROADF_LOCK},
            {0x08, ROADF_SOLID},    {0x10, ROADF_NEWNUMBERING}, {0x20, ROADF_SIGNED},
            {0x40, ROADF_RECOVERY}, {0x80, ROADF_ENCHEADERS},   {0x100, ROADF_FIRSTVOLUME}};
        for (const auto& m : kMap)
          if (flags & m[0]) v.archiveFlags |= m[1];
        if (flags & 0x02) v.hasComment = true;
        // RAR 2 kept the comment inside the main header, stored when its method is 0x30.
        if ((flags & 0x02) && size > 13 + 13) {
          Reader c(block, 13, size);
          c.Skip(7);
          const uint64_t unpSize = c.Le(2);
          c.Skip(1);
          const uint64_t method = c.Le(1);
          c.Skip(2);
          if (c.ok() && method == 0x30 && unpSize <= c.left()) {
            v.comment = c.Bytes(unpSize);
            v.commentReadable = true;
          }
        }
        break;
      }
      case 0x74: {
        FileEntry e;
        std::string rawName;
        if (!ParseFile4(block, flags, e, rawName)) {
          v.end = VolumeEnd::Broken;
          return 0;
        }
        e.dataOffset = pos + size;
        v.entries.push_back(std::move(e));
        break;
      }
      case 0x7A: {
        FileEntry e;
        std::string rawName;
        if (ParseFile4(block, flags, e, rawName) && rawName == "CMT" && v.entries.empty()) {
          e.dataOffset = pos + size;
          TakeComment(fd, v, e);
        }
        break;
      }
      case 0x7B:
        v.end = VolumeEnd::EndBlock;
        v.nextVolume = flags & 0x01;
        v.endBlockOffset = pos;
        return 0;
      default:
        break;
    }
    if (first && (flags & 0x80)) {
      // Every header after the main header is encrypted.
      v.end = VolumeEnd::EncryptedHeaders;
      return 0;
    }
    first = false;
    pos += size + dataSize;
  }
}

bool ParseFile5(Reader& r, FileEntry& e, std::string& name) {
  const uint64_t fileFlags = r.Vint();
  e.unpSize = r.Vint();
  e.unknownSize = fileFlags & 0x08;
  e.attributes = static_cast<uint32_t>(r.Vint());
  if (fileFlags & 0x02) e.unixTime = static_cast<int64_t>(r.Le(4));
  if (fileFlags & 0x04) {
    e.crc = static_cast<uint32_t>(r.Le(4));
    e.hasCrc = true;
  }
  const uint64_t compression = r.Vint();
  e.compression = compression;
  const uint64_t host = r.Vint();
  name = r.Bytes(r.Vint());
  if (!r.ok()) return false;
  e.folder = fileFlags & 0x01;
  e.solid = compression & 0x40;
  e.method = 0x30 + static_cast<unsigned>((compression >> 7) & 7);
  e.unpVer = (compression & 0x3F) == 0 ? 50 : 70;
  const unsigned dict = static_cast<unsigned>((compression >> 10) & 15);
  e.dictKiB = e.folder ? 0 : 128u << dict;
  e.dictCode = e.folder ? 7 : std::min(dict + 1, 6u);
  e.unixAttributes = host == 1;
  e.hostOS = host == 0 ? 2 : 3;
  SetNames(e, Utf8ToWide(name));
  return true;
}

void ParseExtra5(Reader r, FileEntry& e) {
  while (r.ok() && r.left() > 0) {
    const uint64_t size = r.Vint();
    if (!r.ok() || size == 0 || size > r.left()) return;
    Reader rec = r.Sub(size);
    const uint64_t type = rec.Vint();
    if (type == 1) {
      e.encrypted = true;
    } else if (type == 2) {
      if (rec.Vint() == 0) {
        const std::string hash = rec.Bytes(32);
        if (rec.ok()) {
          std::memcpy(e.hash, hash.data(), 32);
          e.blake2 = true;
        }
      }
    } else if (type == 3) {
      const uint64_t flags = rec.Vint();
      if (flags & 0x02) {
        if (flags & 0x01) {
          e.unixTime = static_cast<int64_t>(rec.Le(4));
        } else {
          const uint64_t filetime = rec.Le(8);
          if (rec.ok()) e.unixTime = static_cast<int64_t>(filetime / 10000000) - 11644473600LL;
        }
      }
    } else if (type == 5) {
      e.redirType = static_cast<unsigned>(rec.Vint());
      e.notRegular = true;
      rec.Vint();  // flags
      const std::string target = rec.Bytes(rec.Vint());
      if (rec.ok()) e.redirTarget = target;
    }
  }
}

// libarchive 3.6 reads one nanosecond field where a time record holds one for each time it
// stores, and then loses its place in the header (rar -tsa4, -tsc4). libarchive is shown the
// header with that record last, under a type it skips; the times are read here anyway.
std::string HeaderForLibarchive(const std::string& block, size_t extraAt) {
  std::string others, times;
  Reader r(block, extraAt, block.size());
  while (r.ok() && r.left() > 0) {
    const size_t start = r.pos();
    const uint64_t size = r.Vint();
    const size_t typeAt = r.pos();
    if (!r.ok() || size == 0 || size > r.left()) return {};
    Reader rec = r.Sub(size);
    const uint64_t type = rec.Vint();
    const uint64_t flags = rec.Vint();
    std::string record = block.substr(start, r.pos() - start);
    const int stored = !!(flags & 0x02) + !!(flags & 0x04) + !!(flags & 0x08);
    if (type == 3 && (flags & 0x10) && stored > 1 && times.empty()) {
      constexpr char kSkippedType = 0x0F;
      record[typeAt - start] = kSkippedType;
      times = record;
    } else {
      others += record;
    }
  }
  if (times.empty() || !r.ok()) return {};
  std::string header = block.substr(0, extraAt) + others + times;
  const uint32_t crc = Crc(header, 4, header.size());
  for (int i = 0; i < 4; ++i) header[i] = static_cast<char>(crc >> (8 * i));
  return header;
}

// The first 1 to 7 bytes of a standard 8-byte end block (CRC, size 3, type 5, two flag bytes),
// at the very end of the file.
bool IsCutEndBlock5(const std::string& tail) {
  constexpr size_t kEndBlockSize = 8;
  return tail.size() < kEndBlockSize && (tail.size() <= 4 || tail[4] == 3) &&
         (tail.size() <= 5 || tail[5] == 5);
}

int ScanRar5(int fd, uint64_t start, VolumeInfo& v) {
  v.archiveFlags |= ROADF_NEWNUMBERING;
  uint64_t pos = start;
  bool first = true;
  std::string block;
  while (true) {
    if (pos == v.fileSize) {
      v.end = VolumeEnd::EndOfFile;
      return 0;
    }
    const size_t probe = static_cast<size_t>(std::min<uint64_t>(v.fileSize - pos, 4 + 10));
    if (!ReadAt(fd, pos, probe, block)) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    if (IsCutEndBlock5(block)) {
      // Only the last bytes of the end block are missing: the files are all there.
      v.end = VolumeEnd::EndOfFile;
      return 0;
    }
    if (probe < 5) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    Reader head(block, 0, probe);
    const auto crc = static_cast<uint32_t>(head.Le(4));
    const uint64_t headerSize = head.Vint();
    const size_t fieldsAt = head.pos();
    if (!head.ok() || headerSize == 0 || headerSize > kMaxHeaderSize5 ||
        pos + fieldsAt + headerSize > v.fileSize ||
        !ReadAt(fd, pos, fieldsAt + headerSize, block) ||
        Crc(block, 4, fieldsAt + headerSize) != crc) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    Reader r(block, fieldsAt, block.size());
    const uint64_t type = r.Vint();
    const uint64_t flags = r.Vint();
    const uint64_t extraSize = (flags & 0x01) ? r.Vint() : 0;
    const uint64_t dataSize = (flags & 0x02) ? r.Vint() : 0;
    if (!r.ok() || extraSize > r.left() || (first && type != 1 && type != 4)) {
      v.end = VolumeEnd::Broken;
      return 0;
    }
    if (dataSize > v.fileSize - (pos + block.size())) {
      v.end = VolumeEnd::Truncated;
      return 0;
    }
    const size_t extraAt = block.size() - extraSize;
    Reader fields(block, r.pos(), extraAt);
    switch (type) {
      case 1: {
        const uint64_t archiveFlags = fields.Vint();
        if (archiveFlags & 0x01) v.archiveFlags |= ROADF_VOLUME;
        if ((archiveFlags & 0x01) && !(archiveFlags & 0x02)) v.archiveFlags |= ROADF_FIRSTVOLUME;
        if (archiveFlags & 0x04) v.archiveFlags |= ROADF_SOLID;
        if (archiveFlags & 0x08) v.archiveFlags |= ROADF_RECOVERY;
        if (archiveFlags & 0x10) v.archiveFlags |= ROADF_LOCK;
        break;
      }
      case 2:
      case 3: {
        FileEntry e;
        std::string name;
        if (!ParseFile5(fields, e, name)) {
          v.end = VolumeEnd::Broken;
          return 0;
        }
        ParseExtra5(Reader(block, extraAt, block.size()), e);
        e.headerOffset = pos;
        e.libarchiveHeader = HeaderForLibarchive(block, extraAt);
        e.packSize = dataSize;
        e.splitBefore = flags & 0x08;
        e.splitAfter = flags & 0x10;
        e.dataOffset = pos + block.size();
        if (type == 2) {
          ClassifyUnixMode(e);
          v.entries.push_back(std::move(e));
        } else if (name == "CMT" && v.entries.empty()) {
          TakeComment(fd, v, e);
        }
        break;
      }
      case 4:
        v.archiveFlags |= ROADF_ENCHEADERS;
        v.end = VolumeEnd::EncryptedHeaders;
        return 0;
      case 5:
        v.end = VolumeEnd::EndBlock;
        v.nextVolume = fields.Vint() & 0x01;
        v.endBlockOffset = pos;
        return 0;
      default:
        break;
    }
    first = false;
    pos += block.size() + dataSize;
  }
}

// Where the signature lies: at the start, or after a self-extracting stub.
bool FindSignature(int fd, uint64_t fileSize, uint64_t& at, RarFormat& format) {
  std::string buffer;
  // Most archives start with the signature; only a stub makes the search worth reading for.
  if (ReadAt(fd, 0, static_cast<size_t>(std::min<uint64_t>(fileSize, 8)), buffer) &&
      buffer.compare(0, 6, "Rar!\x1A\x07", 6) != 0) {
    if (!ReadAt(fd, 0, static_cast<size_t>(std::min(fileSize, kMaxSfxSize)), buffer)) return false;
  }
  for (size_t pos = buffer.find("Rar!\x1A\x07", 0, 6); pos != std::string::npos;
       pos = buffer.find("Rar!\x1A\x07", pos + 1, 6)) {
    if (buffer.compare(pos, 8, kSignature5, 8) == 0) {
      at = pos;
      format = RarFormat::Rar5;
      return true;
    }
    if (buffer.compare(pos, 7, kSignature4, 7) == 0) {
      at = pos;
      format = RarFormat::Rar4;
      return true;
    }
  }
  return false;
}

}  // namespace

int ScanVolume(const std::string& path, VolumeInfo& out) {
  out = VolumeInfo();
  out.path = path;
  platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ERAR_EOPEN;
  out.fileSize = static_cast<uint64_t>(st.st_size);
  out.device = static_cast<uint64_t>(st.st_dev);
  out.inode = static_cast<uint64_t>(st.st_ino);
  uint64_t at = 0;
  if (!FindSignature(fd.get(), out.fileSize, at, out.format)) return ERAR_BAD_ARCHIVE;
  return out.format == RarFormat::Rar4 ? ScanRar4(fd.get(), at + 7, out)
                                       : ScanRar5(fd.get(), at + 8, out);
}

bool HasNextVolume(const VolumeInfo& volume) {
  if (volume.end == VolumeEnd::EndBlock) return volume.nextVolume;
  return volume.end == VolumeEnd::EndOfFile && !volume.entries.empty() &&
         volume.entries.back().splitAfter;
}

}  // namespace unrar_standin
