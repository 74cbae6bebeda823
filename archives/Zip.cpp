// The directory side of TZip: locating the end record, reading the central directory and the
// prompts for archives spanned over labelled removable disks.
#include "archives/Zip.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "archives/OemNames.h"
#include "archives/ZipDlls.h"
#include "platform/Files.h"
#include "platform/LittleEndian.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/Volume.h"

namespace {

using platform::GetLe16;
using platform::GetLe32;
using platform::GetLe64;

int Ask(const std::string& text, uint32_t flags) {
  return platform::CurrentPrompter().MessageBox({platform::ApplicationTitle(), text, flags});
}

std::string NotValidMessage(const std::string& path) {
  return "\"" + path + "\"\nis not a valid Zip file.";
}

// The next count bytes of the file as text; false when the file ends first.
bool ReadString(platform::ReadOnlyFile& file, std::string& text, size_t count) {
  text.assign(count, '\0');
  return file.Read(text.data(), count) == count;
}

constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr int kZip64LocatorSize = 20;
constexpr int kZip64EndSize = 56;  // without its extensible data

}  // namespace

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
      std::string record(kEndOfCentralDirSize, '\0');
      platform::PutLe32(record.data(), endOfCentralDir_.HeaderSig);
      if (!platform::WriteNewFile(path, record))
        throw ZipException("Unable to create \n\"" + path + "\"");
    }
    ReadDirectory();
  }
  if (OnContentsChanged) OnContentsChanged(this);
}

void TZip::ReadDirectory() {
  directory_.clear();
  if (zipFileName_.empty()) return;

  platform::ReadOnlyFile file;
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
  eoc.HeaderSig = GetLe32(record);
  eoc.ThisDiskNo = GetLe16(record + 4);
  eoc.CentralDiskNo = GetLe16(record + 6);
  eoc.CentralEntries = GetLe16(record + 8);
  eoc.TotalEntries = GetLe16(record + 10);
  eoc.CentralSize = GetLe32(record + 12);
  eoc.CentralOffset = GetLe32(record + 16);
  eoc.ZipCommentLen = GetLe16(record + 20);
  // Where the directory ends, and how many entries it holds: a ZIP64 end record between the
  // directory and this one has the numbers that do not fit here.
  CentralDirectoryPlace place{position, eoc.TotalEntries};
  ReadZip64End(file, place);
  if (eoc.ThisDiskNo > 1000 || eoc.CentralDiskNo > 1000)
    throw ZipException(NotValidMessage(zipFileName_));
  if (!file.Seek(position + kEndOfCentralDirSize) ||
      !ReadString(file, eoc.ZipComment, eoc.ZipCommentLen))
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

void TZip::OpenOrRaise(platform::ReadOnlyFile& file) {
  if (!file.Open(zipFileName_))
    throw EInOutError("Cannot open file \"" + zipFileName_ + "\". " + std::strerror(errno));
}

void TZip::ReadZip64End(platform::ReadOnlyFile& file, CentralDirectoryPlace& place) {
  const int64_t locatorAt = place.end - kZip64LocatorSize;
  uint8_t locator[kZip64LocatorSize];
  if (locatorAt < 0 || !file.Seek(locatorAt) ||
      file.Read(locator, sizeof locator) != sizeof locator || GetLe32(locator) != kZip64LocatorSig)
    return;  // an archive without one
  // The record usually lies just before its locator; otherwise where the locator says. Bytes
  // that only look like a locator leave the 32-bit record in charge.
  uint8_t record[kZip64EndSize];
  const auto readRecord = [&](int64_t at) {
    return at >= 0 && file.Seek(at) && file.Read(record, sizeof record) == sizeof record &&
           GetLe32(record) == kZip64EndSig;
  };
  int64_t recordAt = locatorAt - kZip64EndSize;
  if (!readRecord(recordAt)) {
    const uint64_t recorded = GetLe64(locator + 8);
    if (recorded > static_cast<uint64_t>(locatorAt)) return;
    recordAt = static_cast<int64_t>(recorded);
    if (!readRecord(recordAt)) return;
  }
  const uint32_t thisDisk = GetLe32(record + 16);
  const uint32_t centralDisk = GetLe32(record + 20);
  const uint64_t entries = GetLe64(record + 32);
  const uint64_t size = GetLe64(record + 40);
  const uint64_t offset = GetLe64(record + 48);
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

int64_t TZip::FindEndOfCentralDir(platform::ReadOnlyFile& file) {
  const int64_t size = file.Size();
  if (size < kEndOfCentralDirSize) return -1;
  uint8_t tail[kEndOfCentralDirSize];
  if (!file.Seek(size - kEndOfCentralDirSize) || file.Read(tail, sizeof tail) != sizeof tail)
    return -1;
  if (GetLe32(tail) == kEndOfCentralDirSig) return size - kEndOfCentralDirSize;

  // A comment of up to 65535 bytes follows the record: one read of at most the record and the
  // longest comment, scanned backwards.
  const int64_t n = std::min<int64_t>(size, 65535 + kEndOfCentralDirSize);
  std::string buffer;
  if (!file.Seek(size - n) || !ReadString(file, buffer, static_cast<size_t>(n))) return -1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
  for (int64_t offset = n - kEndOfCentralDirSize; offset >= 0; --offset)
    if (GetLe32(bytes + offset) == kEndOfCentralDirSig) return size - n + offset;
  return -1;
}

bool TZip::ReadCentralDirectory(platform::ReadOnlyFile& file, const CentralDirectoryPlace& place) {
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
    if (GetLe32(h) != kCentralFileHeaderSig) return false;
    TFileInfo info;
    info.HeaderSig = GetLe32(h);
    info.MadeByVersion = GetLe16(h + 4);
    info.NeededVersion = GetLe16(h + 6);
    info.Flag = GetLe16(h + 8);
    info.ComprMethod = GetLe16(h + 10);
    info.ModifTime = GetLe16(h + 12);
    info.ModifDate = GetLe16(h + 14);
    info.CRC32 = GetLe32(h + 16);
    info.ComprSize = GetLe32(h + 20);
    info.UnComprSize = GetLe32(h + 24);
    info.FileNameLen = GetLe16(h + 28);
    info.ExtraLen = GetLe16(h + 30);
    info.FileComLen = GetLe16(h + 32);
    info.DiskStart = GetLe16(h + 34);
    info.IntFileAtt = GetLe16(h + 36);
    info.ExtFileAtt = GetLe32(h + 38);
    info.RelOffLocal = GetLe32(h + 42);
    info.Encrypted = (info.Flag & 1) != 0;

    if (entry == 0) oemNames_ = ZipNames::OemHost(info.MadeByVersion);
    const bool convert = ZipNames::ConvertName(oemNames_, info.Flag);
    if (!ReadString(file, info.FileName, info.FileNameLen)) return false;
    if (convert) info.FileName = ZipNames::OemToUtf8(info.FileName);
    std::replace(info.FileName.begin(), info.FileName.end(), '/', '\\');
    if (!ReadString(file, info.ExtraField, info.ExtraLen)) return false;
    if (!ReadString(file, info.FileComment, info.FileComLen)) return false;
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
