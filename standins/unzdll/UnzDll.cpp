// A stand-in for the unzip library: GetUnzDllVersion and UnzDllExec over libarchive. It writes
// regular files only, each into the extract folder under its bare name (or, with the flag at
// offset 56, under its relative path), and never anything outside that folder: unsafe names and
// links are reported as skipped.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "archives/OemNames.h"
#include "archives/UnzipParams.h"
#include "platform/LittleEndian.h"

namespace {

constexpr size_t kChunk = 64 * 1024;

int32_t Clamp32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX));
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Windows wildcard match ignoring ASCII case: '*' any run, '?' one character.
bool Matches(const char* name, const char* mask) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*mask == '*') {
      star = mask++;
      resume = name;
    } else if (*mask == '?' || (*mask && lower(*mask) == lower(*name))) {
      ++mask;
      ++name;
    } else if (star) {
      mask = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == '\0';
}

// The entry's components when its name is safe to write below the extract folder: not empty,
// not absolute, no drive, no ".." component. Empty and "." components ("./a//b") are dropped, as
// archivers that pack a folder as "." write every name with a leading "./".
bool SafeComponents(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  if (name.empty() || IsSeparator(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return !parts.empty();
}

// Writes all of a block; false with errno set (a full drive gives ENOSPC, not a short count).
bool WriteAt(int fd, const char* data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t done = ::pwrite(fd, data, size, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = ENOSPC;
      return false;
    }
    data += done, size -= static_cast<size_t>(done), offset += done;
  }
  return true;
}

uint32_t Le(const std::string& bytes, size_t at, int width) {
  return static_cast<uint32_t>(platform::GetLe(bytes.data() + at, width));
}

// The stored names of the entries that the directory reader converts from the OEM code page, so
// each file lands under the name the caller lists. libarchive hands such names over as stored
// but tells nothing of the host that made the archive, so the central directory is read here.
std::set<std::string> OemStoredNames(const char* path) {
  std::set<std::string> names;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return names;
  struct stat st {};
  std::string tail;
  if (::fstat(fd, &st) == 0 && st.st_size >= 22) {
    const off_t length = std::min<off_t>(st.st_size, 65535 + 22);
    tail.resize(static_cast<size_t>(length));
    if (::pread(fd, tail.data(), tail.size(), st.st_size - length) != length) tail.clear();
  }
  // The end record nearest the end; the directory lies just before it, or before a ZIP64 end
  // record that sits in front of it.
  size_t end = std::string::npos;
  for (size_t at = tail.size() >= 22 ? tail.size() - 22 : 0; tail.size() >= 22; --at) {
    if (Le(tail, at, 4) == 0x06054B50) {
      end = at;
      break;
    }
    if (at == 0) break;
  }
  std::string directory;
  if (end != std::string::npos) {
    const off_t base = st.st_size - static_cast<off_t>(tail.size());
    off_t directoryEnd = base + static_cast<off_t>(end);
    uint64_t size = Le(tail, end + 12, 4);
    if (end >= 20 + 56 && Le(tail, end - 20, 4) == 0x07064B50 &&
        Le(tail, end - 20 - 56, 4) == 0x06064B50) {
      directoryEnd -= 20 + 56;
      size = Le(tail, end - 20 - 56 + 40, 4) | uint64_t{Le(tail, end - 20 - 56 + 44, 4)} << 32;
    }
    if (size <= static_cast<uint64_t>(directoryEnd) && size <= (64u << 20)) {
      directory.resize(static_cast<size_t>(size));
      if (::pread(fd, directory.data(), directory.size(),
                  directoryEnd - static_cast<off_t>(size)) != static_cast<ssize_t>(size))
        directory.clear();
    }
  }
  ::close(fd);
  bool oem = false;
  for (size_t at = 0; at + 46 <= directory.size() && Le(directory, at, 4) == 0x02014B50;) {
    const size_t nameLength = Le(directory, at + 28, 2);
    const size_t next =
        at + 46 + nameLength + Le(directory, at + 30, 2) + Le(directory, at + 32, 2);
    if (next > directory.size()) break;
    if (at == 0) oem = ZipNames::OemHost(static_cast<uint16_t>(Le(directory, at + 4, 2)));
    if (!oem) break;
    if (ZipNames::ConvertName(oem, static_cast<uint16_t>(Le(directory, at + 8, 2))))
      names.insert(directory.substr(at + 46, nameLength));
    at = next;
  }
  return names;
}

struct Entry {
  std::string name;
  int64_t size = 0;
  time_t mtime = 0;
  bool regular = false;
  bool directory = false;
  bool link = false;
  bool encrypted = false;
  bool selected = false;
  bool sized = false;  // the size is known before the data is read
};

std::string EntryName(archive_entry* entry) {
  if (const char* name = archive_entry_pathname(entry)) return name;
  if (const char* name = archive_entry_pathname_utf8(entry)) return name;
  return std::string();
}

class Run {
 public:
  explicit Run(UnzipParams& params) : p_(params) {}

  int32_t Execute();

 private:
  // Raises one callback action; false when the caller asked to stop.
  bool Call(int32_t action, int32_t number, const std::string& text = std::string(),
            int32_t answerFlag = 0) {
    if (stopped_) return false;
    info_ = UnzipCallbackInfo{};
    info_.caller = p_.caller;
    info_.action = action;
    info_.number = number;
    info_.answerFlag = answerFlag;
    std::memcpy(info_.text, text.data(), std::min(text.size(), kUnzTextSize - 1));
    if (p_.callback(&info_) == -1) stopped_ = true;
    return !stopped_;
  }
  void Message(const std::string& text) { Call(kUnzActionMessage, 0, text); }
  // The caller learns each skipped entry by name and reason, not only through the trace.
  void Skip(const std::string& name, int32_t reason, const std::string& why) {
    Message("skipped: " + name + " (" + why + ")");
    Call(kUnzActionFileSkipped, reason, name);
  }

  archive* Open();
  bool Selected(const std::string& name) const;
  void Survey();
  int OpenFolder(const std::vector<std::string>& parts);
  bool ExtractOne(archive* a, const Entry& entry);
  static const char* PassphraseCallback(archive* a, void* data);

  UnzipParams& p_;
  UnzipCallbackInfo info_{};
  bool stopped_ = false;
  std::vector<Entry> entries_;
  std::string currentName_;
  int attempts_ = 0;
  std::string password_;
};

archive* Run::Open() {
  archive* a = archive_read_new();
  archive_read_support_format_zip(a);
  if (p_.password && *p_.password) archive_read_add_passphrase(a, p_.password);
  archive_read_set_passphrase_callback(a, this, &Run::PassphraseCallback);
  if (archive_read_open_filename(a, p_.archiveName, kChunk) != ARCHIVE_OK) {
    Message(std::string("cannot open ") + p_.archiveName + ": " + archive_error_string(a));
    archive_read_free(a);
    return nullptr;
  }
  return a;
}

bool Run::Selected(const std::string& name) const {
  if (p_.fileSpecCount <= 0 || !p_.fileSpecs) return true;
  const std::string bare = name.substr(name.find_last_of("/\\") + 1);
  for (int32_t i = 0; i < p_.fileSpecCount; ++i) {
    const char* pattern = p_.fileSpecs[i].fileSpec;
    if (pattern && (Matches(name.c_str(), pattern) || Matches(bare.c_str(), pattern))) return true;
  }
  return false;
}

// Lists the archive once, so the batch's count and size are known before anything is written.
void Run::Survey() {
  archive* a = Open();
  if (!a) return;
  const std::set<std::string> oemNames = OemStoredNames(p_.archiveName);
  archive_entry* header;
  int status;
  while ((status = archive_read_next_header(a, &header)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
    Entry entry;
    entry.name = EntryName(header);
    if (oemNames.count(entry.name)) entry.name = ZipNames::OemToUtf8(entry.name);
    entry.size = archive_entry_size(header);
    entry.sized = archive_entry_size_is_set(header) != 0;
    entry.link = archive_entry_filetype(header) == AE_IFLNK;
    entry.mtime = archive_entry_mtime(header);
    entry.directory = archive_entry_filetype(header) == AE_IFDIR;
    entry.regular = archive_entry_filetype(header) == AE_IFREG && !archive_entry_hardlink(header);
    entry.encrypted = archive_entry_is_data_encrypted(header) != 0;
    entry.selected = !entry.directory && Selected(entry.name);
    entries_.push_back(std::move(entry));
  }
  if (status != ARCHIVE_EOF) Message(std::string("archive damaged: ") + archive_error_string(a));
  archive_read_free(a);
}

const char* Run::PassphraseCallback(archive*, void* data) {
  Run& run = *static_cast<Run*>(data);
  if (run.attempts_ <= 0) return nullptr;
  if (!run.Call(kUnzActionPassword, run.attempts_, run.currentName_)) return nullptr;
  if (run.info_.answerFlag != 1) {
    run.attempts_ = 0;
    return nullptr;
  }
  // The counter must fall with every answer, whatever the caller wrote back.
  run.attempts_ = std::min(run.info_.number, run.attempts_ - 1);
  run.password_.assign(run.info_.text, strnlen(run.info_.text, kUnzTextSize));
  return run.password_.c_str();
}

// The folder that receives the entry, opened without following links; -1 on failure.
int Run::OpenFolder(const std::vector<std::string>& parts) {
  int fd = ::open(p_.extractFolder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool keepFolders = p_.flag56 != 0;
  for (size_t i = 0; keepFolders && fd >= 0 && i + 1 < parts.size(); ++i) {
    ::mkdirat(fd, parts[i].c_str(), 0777);
    const int next =
        ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  return fd;
}

bool Run::ExtractOne(archive* a, const Entry& entry) {
  std::vector<std::string> parts;
  if (entry.link) {
    Skip(entry.name, kUnzSkipLink, "link not followed");
    return false;
  }
  if (!entry.regular) {
    Skip(entry.name, kUnzSkipNotRegular, "not a regular file");
    return false;
  }
  if (!SafeComponents(entry.name, parts)) {
    Skip(entry.name, kUnzSkipUnsafeName, "unsafe name");
    return false;
  }
  if (!Call(kUnzActionBeginFile, Clamp32(entry.size), entry.name)) return false;

  const int folder = OpenFolder(parts);
  if (folder < 0) {
    Skip(entry.name, kUnzSkipWriteError, "cannot create its folder");
    return false;
  }
  const std::string target = parts.back();
  struct stat existing {};
  if (::fstatat(folder, target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    const int32_t older = existing.st_mtime < entry.mtime ? 1 : 0;
    if (!Call(kUnzActionOverwrite, 0, entry.name, older) || info_.number != 1) {
      if (!stopped_) Skip(entry.name, kUnzSkipKeptExisting, "existing file kept");
      ::close(folder);
      return false;
    }
  }

  // Written under a temporary name and renamed into place, so a damaged or declined entry
  // never replaces what was there.
  static std::atomic<unsigned> serial{0};
  const std::string temp =
      ".unzdll-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".part";
  const int out =
      ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (out < 0) {
    Skip(entry.name, errno == ENOSPC ? kUnzSkipNoSpace : kUnzSkipWriteError, "cannot write");
    ::close(folder);
    return false;
  }
  currentName_ = entry.name;
  attempts_ = 3;
  bool ok = true, keep = true;
  int32_t reason = 0;
  std::string why;
  uint64_t end = 0;
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int status = archive_read_data_block(a, &block, &size, &offset);
    if (status == ARCHIVE_EOF) {
      if (entry.sized && end < static_cast<uint64_t>(std::max<int64_t>(entry.size, 0)))
        keep = false, reason = kUnzSkipReadError, why = "less data than its listed size";
      break;
    }
    if (status < ARCHIVE_WARN) {
      const char* error = archive_error_string(a);
      why = error ? error : "read error";
      const bool encrypted = entry.encrypted || why.find("assphrase") != std::string::npos;
      const bool method = why.find("Unsupported ZIP compression method") != std::string::npos;
      keep = false;
      reason = encrypted ? kUnzSkipNoPassword : method ? kUnzSkipMethod : kUnzSkipReadError;
      ok = status != ARCHIVE_FATAL;
      break;
    }
    // Data past the listed size is damage, or a bomb meant to fill the drive: never written.
    if (entry.sized &&
        (offset < 0 || static_cast<uint64_t>(offset) + size >
                           static_cast<uint64_t>(std::max<int64_t>(entry.size, 0)))) {
      keep = false, reason = kUnzSkipOversized, why = "more data than its listed size";
      break;
    }
    end = std::max<uint64_t>(end, static_cast<uint64_t>(offset) + size);
    // The last block comes with the warning of a checksum mismatch.
    if (!WriteAt(out, static_cast<const char*>(block), size, static_cast<off_t>(offset))) {
      keep = false, why = "cannot write";
      reason = errno == ENOSPC ? kUnzSkipNoSpace : kUnzSkipWriteError;
      break;
    }
    if (size > 0 && !Call(kUnzActionProgress, Clamp32(static_cast<int64_t>(size)))) {
      keep = false;
      break;
    }
    if (status == ARCHIVE_WARN) {
      // The caller decides whether a damaged file is wanted anyway.
      if (!Call(kUnzActionCrcError, 0, entry.name) || info_.answerFlag != 1)
        keep = false, reason = kUnzSkipCrcError, why = "CRC error";
      break;
    }
  }
  const timespec times[2] = {{entry.mtime, 0}, {entry.mtime, 0}};
  if (keep) ::futimens(out, times);
  if (::close(out) != 0 && keep) {
    keep = false, why = "cannot write";
    reason = errno == ENOSPC ? kUnzSkipNoSpace : kUnzSkipWriteError;
  }
  if (keep && ::renameat(folder, temp.c_str(), folder, target.c_str()) != 0)
    keep = false, reason = kUnzSkipWriteError, why = "cannot replace the existing entry";
  if (!keep) ::unlinkat(folder, temp.c_str(), 0);
  ::close(folder);
  if (!keep && reason != 0) Skip(entry.name, reason, why);
  if (keep) Message("extracted: " + entry.name);
  if (!ok) stopped_ = true;
  return keep;
}

int32_t Run::Execute() {
  Survey();
  int64_t count = 0, bytes = 0;
  for (const Entry& entry : entries_)
    if (entry.selected) ++count, bytes += entry.size;
  if (!Call(kUnzActionBatchCount, Clamp32(count)) || !Call(kUnzActionBatchSize, Clamp32(bytes)))
    return 0;

  int32_t written = 0;
  if (archive* a = count > 0 ? Open() : nullptr) {
    archive_entry* header;
    int status;
    size_t index = 0;
    while (
        !stopped_ && index < entries_.size() &&
        ((status = archive_read_next_header(a, &header)) == ARCHIVE_OK || status == ARCHIVE_WARN)) {
      const Entry& entry = entries_[index++];
      if (entry.selected && ExtractOne(a, entry)) ++written;
    }
    archive_read_free(a);
  }
  Call(kUnzActionEndBatch, 0);
  return written;
}

}  // namespace

VV_UNZDLL_EXPORT uint32_t VV_STDCALL GetUnzDllVersion() {
  return static_cast<uint32_t>(kUnzipParamsVersion);
}

VV_UNZDLL_EXPORT int32_t VV_STDCALL UnzDllExec(UnzipParams* params) {
  if (!params || !params->callback || !params->archiveName || !params->extractFolder) return 0;
  // Names flagged as UTF-8 are converted to the thread's character set; under the C locale of a
  // program that never set one, that fails. A UTF-8 locale for this thread keeps them as they are
  // (other names pass through as stored).
  struct ThreadLocale {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    locale_t previous = utf8 ? uselocale(utf8) : nullptr;
    ~ThreadLocale() {
      if (!utf8) return;
      uselocale(previous);
      freelocale(utf8);
    }
  } locale;
  // Nothing may unwind into the caller through this C entry point.
  try {
    Run run(*params);
    return run.Execute();
  } catch (...) {
    return 0;
  }
}
