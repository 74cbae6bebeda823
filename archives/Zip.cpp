// The directory side of TZip: locating the end record, reading the central directory and the
// prompts for archives spanned over labelled removable disks.
#include "archives/Zip.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archives/OemNames.h"
#include "archives/ZipDlls.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/Volume.h"

namespace {

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int Ask(const std::string& text, uint32_t flags) {
  return platform::CurrentPrompter().MessageBox({platform::ApplicationTitle(), text, flags});
}

std::string NotValidMessage(const std::string& path) {
  return "\"" + path + "\"\nis not a valid Zip file.";
}

uint64_t Le64(const uint8_t* p) {
  return Le32(p) | (uint64_t{Le32(p + 4)} << 32);
}

constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr int kZip64LocatorSize = 20;
constexpr int kZip64EndSize = 56;  // without its extensible data

}  // namespace

// The archive file while its directory is read; closed on every way out.
class TZip::ArchiveFile {
 public:
  ~ArchiveFile() { Close(); }
  bool Open(const std::string& path) {
    Close();
    fd_ = ::open(platform::ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int64_t Size() const {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? -1 : static_cast<int64_t>(end);
  }
  bool Seek(int64_t position) {
    return position >= 0 && ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) == position;
  }
  // Reads up to count bytes; the number read.
  size_t Read(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }
  bool ReadString(std::string& text, size_t count) {
    text.assign(count, '\0');
    return Read(text.data(), count) == count;
  }

 private:
  int fd_ = -1;
};

TZip::TZip() = default;

TZip::~TZip() {
  ZipDlls::UnloadUnzipLibrary();
}

void TZip::SetZipFileName(const std::string& path) {
  password_.clear();
  oemNames_ = false;
  endOfCentralDir_ = TEOCHInfo{};
  directory_.clear();
  zipFileName_ = path;

  if (!path.empty()) {
    std::string label;
    if (!ZipUnit::GetVolumeLabel(platform::DriveRootOf(path), label))
      throw ZipException("Unable to access the selected drive!");
    if (!platform::FileExists(path)) {
      // A new, empty archive: just the end record. O_EXCL, so nothing that appeared meanwhile
      // is overwritten.
      uint8_t record[kEndOfCentralDirSize] = {};
      PutLe32(record, endOfCentralDir_.HeaderSig);
      const int fd = ::open(platform::ResolvePath(path).c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      bool written = fd >= 0 && ::write(fd, record, sizeof record) == sizeof record;
      if (fd >= 0 && ::close(fd) != 0) written = false;
      if (!written) throw ZipException("Unable to create \n\"" + path + "\"");
    }
    ReadDirectory();
  }
  if (OnContentsChanged) OnContentsChanged(this);
}

void TZip::ReadDirectory() {
  directory_.clear();
  if (zipFileName_.empty()) return;

  ArchiveFile file;
  OpenOrRaise(file);
  int64_t position;
  while ((position = FindEndOfCentralDir(file)) < 0) {
    file.Close();
    const int disk = ZipUnit::GetDiskNumber(zipFileName_);
    if (disk == 0) throw ZipException(NotValidMessage(zipFileName_));
    const int answer = Ask("This is [ Disk " + std::to_string(disk) +
                               " ] of a multiple disk Zip file.\nInsert the last disk of the Zip "
                               "file before pressing [ OK ] to continue ...",
                           platform::MB_OKCANCEL | platform::MB_ICONINFORMATION);
    if (answer == platform::IDCANCEL) return;
    OpenOrRaise(file);
  }

  uint8_t record[kEndOfCentralDirSize];
  if (!file.Seek(position) || file.Read(record, sizeof record) != sizeof record)
    throw ZipException(NotValidMessage(zipFileName_));
  TEOCHInfo& eoc = endOfCentralDir_;
  eoc.Position = static_cast<int32_t>(position);
  eoc.HeaderSig = Le32(record);
  eoc.ThisDiskNo = Le16(record + 4);
  eoc.CentralDiskNo = Le16(record + 6);
  eoc.CentralEntries = Le16(record + 8);
  eoc.TotalEntries = Le16(record + 10);
  eoc.CentralSize = Le32(record + 12);
  eoc.CentralOffset = Le32(record + 16);
  eoc.ZipCommentLen = Le16(record + 20);
  // Where the directory ends, and how many entries it holds: a ZIP64 end record between the
  // directory and this one has the numbers that do not fit here.
  CentralDirectoryPlace place{position, eoc.TotalEntries};
  ReadZip64End(file, place);
  if (eoc.ThisDiskNo > 1000 || eoc.CentralDiskNo > 1000)
    throw ZipException(NotValidMessage(zipFileName_));
  if (!file.Seek(position + kEndOfCentralDirSize) ||
      !file.ReadString(eoc.ZipComment, eoc.ZipCommentLen))
    eoc.ZipComment.clear();
  if (place.entries == 0) return;

  if (eoc.CentralDiskNo != eoc.ThisDiskNo) {
    // Disks are counted from 0 in the record and from 1 on the labels.
    file.Close();
    if (!ZipUnit::AskForDisk(zipFileName_, eoc.CentralDiskNo + 1)) return;
    OpenOrRaise(file);
  }
  if (!ReadCentralDirectory(file, place)) {
    directory_.clear();
    throw ZipException("Error reading CentralFileHeader.");
  }
}

void TZip::OpenOrRaise(ArchiveFile& file) {
  if (!file.Open(zipFileName_))
    throw EInOutError("Cannot open file \"" + zipFileName_ + "\". " + std::strerror(errno));
}

void TZip::ReadZip64End(ArchiveFile& file, CentralDirectoryPlace& place) {
  const int64_t locatorAt = place.end - kZip64LocatorSize;
  uint8_t locator[kZip64LocatorSize];
  if (locatorAt < 0 || !file.Seek(locatorAt) ||
      file.Read(locator, sizeof locator) != sizeof locator || Le32(locator) != kZip64LocatorSig)
    return;  // an archive without one
  // The record usually lies just before its locator; otherwise where the locator says. Bytes
  // that only look like a locator leave the 32-bit record in charge.
  uint8_t record[kZip64EndSize];
  const auto readRecord = [&](int64_t at) {
    return at >= 0 && file.Seek(at) && file.Read(record, sizeof record) == sizeof record &&
           Le32(record) == kZip64EndSig;
  };
  int64_t recordAt = locatorAt - kZip64EndSize;
  if (!readRecord(recordAt)) {
    const uint64_t recorded = Le64(locator + 8);
    if (recorded > static_cast<uint64_t>(locatorAt)) return;
    recordAt = static_cast<int64_t>(recorded);
    if (!readRecord(recordAt)) return;
  }
  const uint32_t thisDisk = Le32(record + 16);
  const uint32_t centralDisk = Le32(record + 20);
  const uint64_t entries = Le64(record + 32);
  const uint64_t size = Le64(record + 40);
  const uint64_t offset = Le64(record + 48);
  // Every entry takes at least a fixed header, so the count is bounded by the directory's size.
  if (size > static_cast<uint64_t>(recordAt) || entries > size / kCentralFileHeaderSize) return;
  place.end = recordAt;
  place.entries = static_cast<int64_t>(entries);
  // Fields of the 32-bit record that only say "see the ZIP64 record" take its values.
  TEOCHInfo& eoc = endOfCentralDir_;
  const auto clamp16 = [](uint64_t v) {
    return static_cast<uint16_t>(std::min<uint64_t>(v, 0xFFFF));
  };
  if (eoc.ThisDiskNo == 0xFFFF) eoc.ThisDiskNo = clamp16(thisDisk);
  if (eoc.CentralDiskNo == 0xFFFF) eoc.CentralDiskNo = clamp16(centralDisk);
  if (eoc.CentralEntries == 0xFFFF || eoc.TotalEntries == 0xFFFF)
    eoc.CentralEntries = eoc.TotalEntries = clamp16(entries);
  if (eoc.CentralSize == 0xFFFFFFFF)
    eoc.CentralSize = static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFF));
  if (eoc.CentralOffset == 0xFFFFFFFF)
    eoc.CentralOffset = static_cast<uint32_t>(std::min<uint64_t>(offset, 0xFFFFFFFF));
  place.size = static_cast<int64_t>(size);
  place.offset = static_cast<int64_t>(offset);
}

int64_t TZip::FindEndOfCentralDir(ArchiveFile& file) {
  const int64_t size = file.Size();
  if (size < kEndOfCentralDirSize) return -1;
  uint8_t tail[kEndOfCentralDirSize];
  if (!file.Seek(size - kEndOfCentralDirSize) || file.Read(tail, sizeof tail) != sizeof tail)
    return -1;
  if (Le32(tail) == kEndOfCentralDirSig) return size - kEndOfCentralDirSize;

  // A comment follows the record: one read of at most the last 65535 bytes, scanned backwards.
  const int64_t n = std::min<int64_t>(size, 65535);
  std::string buffer;
  if (!file.Seek(size - n) || !file.ReadString(buffer, static_cast<size_t>(n))) return -1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
  for (int64_t offset = n - kEndOfCentralDirSize; offset >= 0; --offset)
    if (Le32(bytes + offset) == kEndOfCentralDirSig) return size - n + offset;
  return -1;
}

bool TZip::ReadCentralDirectory(ArchiveFile& file, const CentralDirectoryPlace& place) {
  const TEOCHInfo& eoc = endOfCentralDir_;
  const uint64_t size = place.size < 0 ? eoc.CentralSize : static_cast<uint64_t>(place.size);
  const uint64_t offset =
      place.offset < 0 ? eoc.CentralOffset : static_cast<uint64_t>(place.offset);
  int64_t start;
  if (eoc.ThisDiskNo != 0) {
    start = static_cast<int64_t>(offset);
  } else {
    // Found backwards from the end record, so data placed before the archive does not matter.
    // A directory that would start before its own recorded offset cannot be genuine.
    start = place.end - static_cast<int64_t>(size);  // the 32-bit Position wraps past 2 GB
    if (start < 0 || static_cast<uint64_t>(start) < offset) return false;
  }
  if (!file.Seek(start)) return false;

  directory_.reserve(static_cast<size_t>(std::min<int64_t>(place.entries, 0xFFFF)));
  for (int64_t entry = 0; entry < place.entries; ++entry) {
    uint8_t h[kCentralFileHeaderSize];
    while (file.Read(h, sizeof h) != sizeof h) {
      if (eoc.ThisDiskNo == 0) return false;
      const int disk = ZipUnit::GetDiskNumber(zipFileName_);
      if (disk == 0 || disk > eoc.ThisDiskNo) return false;
      file.Close();
      if (!ZipUnit::AskForDisk(zipFileName_, disk + 1)) return false;
      if (!file.Open(zipFileName_)) return false;
    }
    if (Le32(h) != kCentralFileHeaderSig) return false;
    TFileInfo info;
    info.HeaderSig = Le32(h);
    info.MadeByVersion = Le16(h + 4);
    info.NeededVersion = Le16(h + 6);
    info.Flag = Le16(h + 8);
    info.ComprMethod = Le16(h + 10);
    info.ModifTime = Le16(h + 12);
    info.ModifDate = Le16(h + 14);
    info.CRC32 = Le32(h + 16);
    info.ComprSize = Le32(h + 20);
    info.UnComprSize = Le32(h + 24);
    info.FileNameLen = Le16(h + 28);
    info.ExtraLen = Le16(h + 30);
    info.FileComLen = Le16(h + 32);
    info.DiskStart = Le16(h + 34);
    info.IntFileAtt = Le16(h + 36);
    info.ExtFileAtt = Le32(h + 38);
    info.RelOffLocal = Le32(h + 42);
    info.Encrypted = (info.Flag & 1) != 0;

    if (entry == 0) oemNames_ = ZipNames::OemHost(info.MadeByVersion);
    const bool convert = ZipNames::ConvertName(oemNames_, info.Flag);
    if (!file.ReadString(info.FileName, info.FileNameLen)) return false;
    if (convert) info.FileName = ZipNames::OemToUtf8(info.FileName);
    std::replace(info.FileName.begin(), info.FileName.end(), '/', '\\');
    if (!file.ReadString(info.ExtraField, info.ExtraLen)) return false;
    if (!file.ReadString(info.FileComment, info.FileComLen)) return false;
    if (convert) info.FileComment = ZipNames::OemToUtf8(info.FileComment);
    directory_.push_back(std::move(info));
  }
  return true;
}

namespace ZipUnit {

unsigned DriveTypeOf(const std::string& path) {
  if (path.empty()) return platform::DRIVE_NO_ROOT_DIR;
  return platform::GetDriveType(AddBackslash(platform::DriveRootOf(path)));
}

bool GetVolumeLabel(const std::string& drive, std::string& label) {
  label.clear();
  std::string name;
  if (!platform::GetVolumeLabel(AddBackslash(drive), name)) return false;
  label = name.substr(0, 255);
  return true;
}

int GetDiskNumber(const std::string& path) {
  if (!platform::FileExists(path)) return 0;
  if (DriveTypeOf(path) != platform::DRIVE_REMOVABLE) return 0;
  std::string label;
  if (!GetVolumeLabel(platform::DriveRootOf(path), label)) return 0;
  if (label.compare(0, 8, "PKBACK# ") != 0) return 0;
  int disk = 0;
  return platform::TryStrToInt(label.substr(8, 3), disk) && disk > 0 ? disk : 0;
}

bool AskForDisk(const std::string& path, int n) {
  // Only a removable drive can take another disk; elsewhere the file is read as it is, rather
  // than asking for a disk that can never arrive.
  if (DriveTypeOf(path) != platform::DRIVE_REMOVABLE) return true;
  while (GetDiskNumber(path) != n) {
    const int answer = Ask("Insert [ Disk " + std::to_string(n) +
                               " ] of the Zip file into the floppy drive\nbefore pressing [ OK ] "
                               "to continue ...",
                           platform::MB_OKCANCEL | platform::MB_ICONINFORMATION);
    if (answer == platform::IDCANCEL) return false;
  }
  return true;
}

std::string AddBackslash(const std::string& text) {
  if (text.empty() || text.back() == platform::kPathDelim) return text;
  return text + platform::kPathDelim;
}

}  // namespace ZipUnit
