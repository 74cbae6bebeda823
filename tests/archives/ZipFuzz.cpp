#include "ZipFuzz.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "ZipWriter.h"
#include "archives/Zip.h"

namespace {

// One scratch file a process, removed when it ends.
class ScratchFile {
 public:
  ScratchFile() {
    const char* base = std::getenv("TMPDIR");
    path_ = std::string(base && *base ? base : "/tmp") + "/zipfuzz-XXXXXX";
    const int fd = mkstemp(path_.data());
    if (fd >= 0) close(fd);
  }
  ~ScratchFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

int ZipFuzzOne(const uint8_t* data, size_t size) {
  static const ScratchFile scratch;
  const std::string& path = scratch.path();
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return 0;
  const bool written = write(fd, data, size) == static_cast<ssize_t>(size);
  close(fd);
  if (!written) return 0;
  TZip zip;
  try {
    zip.SetZipFileName(path);
  } catch (const ZipException&) {
    return 0;
  }
  // Touch what was read, so a record built from bytes past the buffer shows up.
  size_t total = zip.EndOfCentralDir().ZipComment.size();
  for (const TFileInfo& info : zip.Directory())
    total += info.FileName.size() + info.ExtraField.size() + info.FileComment.size();
  return total == static_cast<size_t>(-1) ? 1 : 0;
}

std::vector<std::string> ZipFuzzSeeds() {
  using namespace ziptest;
  ZipEntry dos = FileEntry("DOS\\N\x81ME.TXT", "dos", false);
  dos.madeBy = 0x0014;
  dos.comment = "entry comment \x9c";
  ZipEntry utf8 = FileEntry("caf\xC3\xA9/map.vkb", std::string(100, 'm'), true);
  utf8.flags = 0x0800;
  ZipEntry secret = FileEntry("secret.tga", "hidden", true);
  secret.password = "pw";
  const std::vector<ZipEntry> entries = {FileEntry("maps/one.vkb", "first"), dos, utf8, secret,
                                         SymlinkEntry("link", "..")};

  std::vector<std::string> seeds;
  seeds.push_back(BuildZip(entries));
  seeds.push_back(BuildZip({}));
  ZipLayout layout;
  layout.comment = std::string(300, 'c');
  seeds.push_back(BuildZip(entries, layout));
  layout = {};
  layout.prefix = "MZ" + std::string(200, '\0');
  layout.trailer = "tail";
  seeds.push_back(BuildZip(entries, layout));
  layout = {};
  layout.thisDisk = 1;
  seeds.push_back(BuildZip(entries, layout));
  layout = {};
  layout.totalEntries = 9;
  seeds.push_back(BuildZip(entries, layout));
  layout = {};
  layout.centralSizeDelta = 7;
  seeds.push_back(BuildZip(entries, layout));
  layout = {};
  layout.commentLength = 500;
  seeds.push_back(BuildZip(entries, layout));
  // Cuts of the sound archive at a few places, end record kept.
  const ZipParts parts = BuildZipParts(entries);
  for (size_t cut : {size_t{1}, size_t{20}, size_t{46}, parts.central.size() / 2})
    seeds.push_back(parts.local + parts.central.substr(0, parts.central.size() - cut) + parts.end);
  seeds.push_back(parts.Bytes().substr(0, 21));
  return seeds;
}
