// What TZip tells its caller about the entries themselves: the files the directory lists, what
// the last Extract left out and why, and the symbolic links it wrote as copies of their targets.
#include <zlib.h>

#include <map>

#include "archives/Zip.h"
#include "platform/Files.h"
#include "platform/LittleEndian.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034B50;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint32_t kLinkTargetLimit = 4096;  // a link's stored target; more is no link text

bool UnixHost(const TFileInfo& entry) {
  const int host = entry.MadeByVersion >> 8;
  return host == 3 || host == 19;
}

uint32_t FileType(const TFileInfo& entry) {
  return UnixHost(entry) ? (entry.ExtFileAtt >> 16) & 0170000 : 0;
}

bool IsFolder(const TFileInfo& entry) {
  const std::string& name = entry.FileName;
  return (!name.empty() && (name.back() == '\\' || name.back() == '/')) ||
         FileType(entry) == 0040000 || (!UnixHost(entry) && (entry.ExtFileAtt & 0x10) != 0);
}

bool IsLink(const TFileInfo& entry) {
  return FileType(entry) == 0120000;
}

// The uncompressed size, from the ZIP64 extra field when the header's field is full.
int64_t ListedSize(const TFileInfo& entry) {
  if (entry.UnComprSize != 0xFFFFFFFF) return entry.UnComprSize;
  const std::string& extra = entry.ExtraField;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = platform::GetLe16(extra.data() + at + 2);
    if (platform::GetLe16(extra.data() + at) == 0x0001 && length >= 8 &&
        at + 4 + length <= extra.size())
      return static_cast<int64_t>(platform::GetLe64(extra.data() + at + 4));
    at += 4 + length;
  }
  return entry.UnComprSize;
}

std::string Slashed(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

std::string MethodName(uint16_t method) {
  static const std::map<uint16_t, const char*> kNames = {
      {0, "Store"}, {1, "Shrink"},   {6, "Implode"}, {8, "Deflate"}, {9, "Deflate64"},
      {10, "DCL"},  {12, "BZip2"},   {14, "LZMA"},   {93, "Zstd"},   {95, "XZ"},
      {96, "JPEG"}, {97, "WavPack"}, {98, "PPMd"},   {99, "AES"}};
  const auto found = kNames.find(method);
  return found != kNames.end() ? found->second : std::to_string(method);
}

}  // namespace

std::vector<TPackageEntry> TZip::ListedFiles() const {
  std::vector<TPackageEntry> files;
  for (const TFileInfo& entry : directory_) {
    if (IsFolder(entry)) continue;
    const std::string name = Slashed(entry.FileName);
    const auto copied = copiedLinks_.find(name);
    files.push_back({name, copied != copiedLinks_.end() ? copied->second : ListedSize(entry)});
  }
  return files;
}

const TFileInfo* TZip::FindEntry(const std::string& name) const {
  // Built once per directory, so a package of many entries costs no quadratic search.
  if (!entryIndex_) {
    entryIndex_.emplace();
    std::string key;
    for (const TFileInfo& entry : directory_)
      if (platform::NormalisePackagePath(entry.FileName, key)) entryIndex_->emplace(key, &entry);
  }
  std::string wanted;
  if (!platform::NormalisePackagePath(name, wanted)) return nullptr;
  const auto found = entryIndex_->find(wanted);
  return found != entryIndex_->end() ? found->second : nullptr;
}

void TZip::RecordSkip(const std::string& libraryName, int32_t code) {
  const TFileInfo* entry = FindEntry(libraryName);
  const std::string name = entry ? Slashed(entry->FileName) : libraryName;
  std::string reason;
  switch (code) {
    case kUnzSkipUnsafeName:
      reason = "unsafe name";
      break;
    case kUnzSkipNotRegular:
      reason = "not a regular file";
      break;
    case kUnzSkipKeptExisting:
      reason = "existing file kept";
      break;
    case kUnzSkipNoPassword:
      reason = "password needed";
      break;
    case kUnzSkipCrcError:
      reason = "damaged data (CRC)";
      break;
    case kUnzSkipReadError:
      reason = "damaged data";
      break;
    case kUnzSkipWriteError:
      reason = "could not be written";
      break;
    case kUnzSkipLink:
      reason = "link not followed";
      break;
    case kUnzSkipOversized:
      reason = "damaged data (more than its listed size)";
      break;
    case kUnzSkipNoSpace:
      reason = "no space";
      break;
    case kUnzSkipMethod:
      reason =
          "compression method " + (entry ? MethodName(entry->ComprMethod) : "") + " not supported";
      break;
    default:
      reason = "not extracted";
      break;
  }
  const auto [at, added] = skippedIndex_.emplace(name, skippedEntries_.size());
  if (added)
    skippedEntries_.push_back({name, reason});
  else
    skippedEntries_[at->second].Reason = reason;
}

// The bytes of a small stored or deflated entry, read from the archive itself.
bool TZip::ReadSmallEntry(const std::string& archive, const TFileInfo& entry,
                          std::string& data) const {
  if (entry.Encrypted || entry.UnComprSize > kLinkTargetLimit ||
      entry.ComprSize > kLinkTargetLimit || (entry.ComprMethod != 0 && entry.ComprMethod != 8))
    return false;
  platform::ReadOnlyFile file;
  uint8_t header[kLocalHeaderSize];
  if (!file.Open(archive) || !file.Seek(entry.RelOffLocal) ||
      file.Read(header, sizeof header) != sizeof header ||
      platform::GetLe32(header) != kLocalHeaderSig ||
      !file.Seek(int64_t{entry.RelOffLocal} + kLocalHeaderSize + platform::GetLe16(header + 26) +
                 platform::GetLe16(header + 28)))
    return false;
  std::string packed(entry.ComprSize, '\0');
  if (file.Read(packed.data(), packed.size()) != packed.size()) return false;
  if (entry.ComprMethod == 0) {
    data = packed;
  } else {
    data.assign(entry.UnComprSize, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(data.data());
    z.avail_out = static_cast<uInt>(data.size());
    const int status = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.avail_out != 0) return false;
  }
  return crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())) ==
         entry.CRC32;
}

// A symbolic link whose target is a regular file of this package becomes a copy of the file
// the library extracted for it; the link itself is never created nor followed on disk. Any
// other link stays out, with its reason.
int32_t TZip::CopyLinks(const std::string& archive, const std::string& destination) {
  int32_t copies = 0;
  const bool folders = extractOptions_[4];
  // Copies never outgrow what the package lists itself, however many links point at one file.
  int64_t budget = 0;
  for (const TFileInfo& entry : directory_)
    if (!IsLink(entry) && !IsFolder(entry)) budget += ListedSize(entry);
  for (const TFileInfo& link : directory_) {
    if (!IsLink(link)) continue;
    const std::string name = Slashed(link.FileName);
    std::string text, linkPath, targetPath;
    const TFileInfo* target = nullptr;
    if (ReadSmallEntry(archive, link, text) && !text.empty() && text[0] != '/' &&
        platform::NormalisePackagePath(link.FileName, linkPath) &&
        platform::NormalisePackagePath(linkPath.substr(0, linkPath.rfind('/') + 1) + text,
                                       targetPath))
      target = FindEntry(targetPath);
    bool copied = false;
    if (target && !IsLink(*target) && !IsFolder(*target)) {
      const auto place = [&](const std::string& path) {
        std::string rel = folders ? path : path.substr(path.rfind('/') + 1);
        for (char& c : rel)
          if (c == '/') c = platform::kPathDelim;
        return destination + rel;
      };
      const std::string from = place(targetPath);
      std::string bytes;
      platform::ReadOnlyFile file;
      const int64_t size = ListedSize(*target);
      if (size <= budget && platform::EntryTypeOf(from) == platform::EntryType::File &&
          file.Open(from) && file.Size() == size && file.Seek(0)) {
        bytes.resize(static_cast<size_t>(size));
        copied = file.Read(bytes.data(), bytes.size()) == bytes.size() &&
                 platform::WriteNewFile(place(linkPath), bytes);
      }
      if (copied) copiedLinks_[name] = size, budget -= size;
    }
    if (copied) {
      ++copies;

    } else {
      RecordSkip(name, kUnzSkipLink);
    }
  }
  std::erase_if(skippedEntries_,
                [&](const TSkippedEntry& s) { return copiedLinks_.count(s.Name); });
  skippedIndex_.clear();
  for (size_t i = 0; i < skippedEntries_.size(); ++i) skippedIndex_[skippedEntries_[i].Name] = i;
  return copies;
}
