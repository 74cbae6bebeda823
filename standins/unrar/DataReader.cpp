#include "DataReader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "archives/RAR_DLL.h"

namespace unrar_standin {
namespace {

constexpr size_t kChunk = 1 << 20;
// libarchive 3.6 can answer ARCHIVE_FAILED for the same damaged header forever.
constexpr int kMaxFailedHeaders = 4;

}  // namespace

int CopyStored(const VolumeSource& source, const std::vector<EntryPart>& parts,
               const DataSink& sink) {
  std::vector<char> buffer(kChunk);
  for (const EntryPart& part : parts) {
    const int fd = open(source.Volume(part.volume).path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ERAR_EOPEN;
    uint64_t offset = part.header->dataOffset;
    uint64_t left = part.header->packSize;
    int code = 0;
    while (left > 0 && code == 0) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
      const ssize_t n = pread(fd, buffer.data(), want, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        code = ERAR_EREAD;
        break;
      }
      offset += static_cast<uint64_t>(n);
      left -= static_cast<uint64_t>(n);
      code = sink(buffer.data(), static_cast<size_t>(n));
    }
    close(fd);
    if (code != 0) return code;
  }
  return 0;
}

LibarchiveReader::LibarchiveReader(VolumeSource& source) : source_(source) {}

LibarchiveReader::~LibarchiveReader() {
  if (archive_) archive_read_free(archive_);
  if (fd_ >= 0) close(fd_);
}

int LibarchiveReader::Open() {
  archive_ = archive_read_new();
  if (!archive_) return ERAR_NO_MEMORY;
  archive_read_support_format_rar(archive_);
  archive_read_support_format_rar5(archive_);
  archive_read_set_read_callback(archive_, &LibarchiveReader::ReadCallback);
  archive_read_set_skip_callback(archive_, &LibarchiveReader::SkipCallback);
  archive_read_set_callback_data(archive_, this);
  buffer_.resize(kChunk);
  if (archive_read_open1(archive_) != ARCHIVE_OK) {
    brokenCode_ = volumeError_ ? volumeError_ : ERAR_BAD_ARCHIVE;
    return brokenCode_;
  }
  return 0;
}

int LibarchiveReader::Failure() {
  if (volumeError_) return volumeError_;
  const int err = archive_errno(archive_);
  return err == ENOMEM ? ERAR_NO_MEMORY : ERAR_BAD_DATA;
}

int LibarchiveReader::Extract(const FileEntry& entry, const DataSink& sink) {
  if (brokenCode_) return brokenCode_;
  if (!archive_) {
    const int code = Open();
    if (code) return code;
  }
  // libarchive reads a solid RAR 4 archive only up to its first entry.
  const VolumeInfo& first = source_.Volume(0);
  if (first.format == RarFormat::Rar4 && (first.archiveFlags & ROADF_SOLID) && entry.ordinal > 0)
    return ERAR_UNKNOWN_FORMAT;
  if (entry.ordinal < nextOrdinal_) return ERAR_UNKNOWN;

  int failedInRow = 0;
  while (nextOrdinal_ <= entry.ordinal) {
    archive_entry* header = nullptr;
    const int r = archive_read_next_header(archive_, &header);
    const size_t ordinal = nextOrdinal_;
    if (r == ARCHIVE_EOF || r == ARCHIVE_FATAL) {
      brokenCode_ = r == ARCHIVE_EOF ? ERAR_BAD_DATA : Failure();
      return brokenCode_;
    }
    ++nextOrdinal_;
    if (r == ARCHIVE_FAILED || r == ARCHIVE_RETRY) {
      if (++failedInRow >= kMaxFailedHeaders) {
        brokenCode_ = ERAR_BAD_DATA;
        return brokenCode_;
      }
      if (ordinal == entry.ordinal) return ERAR_BAD_DATA;
      continue;
    }
    failedInRow = 0;
    if (ordinal < entry.ordinal) continue;
    // The entry libarchive found must be the one the headers describe.
    if (archive_entry_filetype(header) != AE_IFREG ||
        (!entry.unknownSize && archive_entry_size_is_set(header) &&
         static_cast<uint64_t>(archive_entry_size(header)) != entry.unpSize)) {
      brokenCode_ = ERAR_BAD_DATA;
      return brokenCode_;
    }
    int64_t written = 0;
    while (true) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      const int d = archive_read_data_block(archive_, &block, &size, &offset);
      if (d == ARCHIVE_EOF) return 0;
      if (d < ARCHIVE_WARN) {
        if (d == ARCHIVE_FATAL) brokenCode_ = Failure();
        return Failure();
      }
      static const char zeros[4096] = {};
      while (written < offset) {
        const size_t gap = static_cast<size_t>(std::min<int64_t>(offset - written, sizeof zeros));
        if (const int code = sink(zeros, gap)) return code;
        written += static_cast<int64_t>(gap);
      }
      if (size > 0) {
        if (const int code = sink(block, size)) return code;
        written += static_cast<int64_t>(size);
      }
    }
  }
  return ERAR_UNKNOWN;
}

la_ssize_t LibarchiveReader::ReadCallback(archive*, void* self, const void** buffer) {
  return static_cast<LibarchiveReader*>(self)->Read(buffer);
}

la_int64_t LibarchiveReader::SkipCallback(archive*, void* self, la_int64_t request) {
  return static_cast<LibarchiveReader*>(self)->Skip(request);
}

la_ssize_t LibarchiveReader::Read(const void** buffer) {
  while (true) {
    if (fd_ < 0) {
      const VolumeInfo& volume = source_.Volume(volume_);
      fd_ = open(volume.path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) {
        volumeError_ = ERAR_EOPEN;
        archive_set_error(archive_, EIO, "cannot open a volume");
        return -1;
      }
      position_ = 0;
      // libarchive's RAR 4 reader stops at an end block even when a volume follows; hide it.
      const bool hideEnd = volume.format == RarFormat::Rar4 && volume.end == VolumeEnd::EndBlock &&
                           volume.nextVolume;
      end_ = hideEnd ? volume.endBlockOffset : volume.fileSize;
    }
    if (position_ < end_) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(end_ - position_, buffer_.size()));
      const ssize_t n = pread(fd_, buffer_.data(), want, static_cast<off_t>(position_));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        volumeError_ = ERAR_EREAD;
        archive_set_error(archive_, EIO, "cannot read a volume");
        return -1;
      }
      ShowHeadersToLibarchive(source_.Volume(volume_), position_, static_cast<size_t>(n));
      position_ += static_cast<uint64_t>(n);
      *buffer = buffer_.data();
      return static_cast<la_ssize_t>(n);
    }
    if (!HasNextVolume(source_.Volume(volume_))) return 0;
    if (const int code = source_.ResolveVolume(volume_ + 1)) {
      volumeError_ = code;
      archive_set_error(archive_, EIO, "next volume missing");
      return -1;
    }
    close(fd_);
    fd_ = -1;
    ++volume_;
  }
}

void LibarchiveReader::ShowHeadersToLibarchive(const VolumeInfo& volume, uint64_t at, size_t size) {
  for (const FileEntry& entry : volume.entries) {
    const std::string& header = entry.libarchiveHeader;
    const uint64_t from = std::max(at, entry.headerOffset);
    const uint64_t to = std::min(at + size, entry.headerOffset + header.size());
    if (header.empty() || from >= to) continue;
    std::copy(header.begin() + static_cast<ptrdiff_t>(from - entry.headerOffset),
              header.begin() + static_cast<ptrdiff_t>(to - entry.headerOffset),
              buffer_.begin() + static_cast<ptrdiff_t>(from - at));
  }
}

la_int64_t LibarchiveReader::Skip(la_int64_t request) {
  if (fd_ < 0 || request <= 0) return 0;
  const auto step =
      static_cast<int64_t>(std::min<uint64_t>(static_cast<uint64_t>(request), end_ - position_));
  position_ += static_cast<uint64_t>(step);
  return step;
}

}  // namespace unrar_standin
