#pragma once
// Getting an entry's bytes. Stored entries are copied straight from the volume files (their
// data sits unchanged in one or more volumes); everything else goes through libarchive, fed one
// continuous stream of all volumes.
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include <archive.h>

#include "RarBlocks.h"

namespace unrar_standin {

// What the data readers need of the open archive: its volumes, found on demand.
class VolumeSource {
 public:
  virtual ~VolumeSource() = default;
  // 0 when volume index is known (asking for it when needed), else an ERAR code.
  virtual int ResolveVolume(size_t index) = 0;
  virtual const VolumeInfo& Volume(size_t index) const = 0;
};

// Receives the bytes in order; answers 0 to go on or an ERAR code to stop.
using DataSink = std::function<int(const void* data, size_t size)>;

// One part of an entry: the volume and the header that describe it.
struct EntryPart {
  size_t volume;
  const FileEntry* header;
};

int CopyStored(const VolumeSource& source, const std::vector<EntryPart>& parts,
               const DataSink& sink);

// Walks libarchive's entries in step with the headers, one pass per open archive.
class LibarchiveReader {
 public:
  explicit LibarchiveReader(VolumeSource& source);
  ~LibarchiveReader();
  LibarchiveReader(const LibarchiveReader&) = delete;
  LibarchiveReader& operator=(const LibarchiveReader&) = delete;

  // Unpacks the entry with this ordinal; entries must be asked for in archive order.
  int Extract(const FileEntry& entry, const DataSink& sink);

 private:
  static la_ssize_t ReadCallback(archive* a, void* self, const void** buffer);
  static la_int64_t SkipCallback(archive* a, void* self, la_int64_t request);
  la_ssize_t Read(const void** buffer);
  // Puts the headers rewritten for libarchive over the bytes just read from volume at at.
  void ShowHeadersToLibarchive(const VolumeInfo& volume, uint64_t at, size_t size);
  la_int64_t Skip(la_int64_t request);
  int Failure();
  int Open();

  VolumeSource& source_;
  archive* archive_ = nullptr;
  size_t nextOrdinal_ = 0;
  int brokenCode_ = 0;
  // The continuous stream over the volumes.
  size_t volume_ = 0;
  int fd_ = -1;
  uint64_t position_ = 0;
  uint64_t end_ = 0;
  int volumeError_ = 0;
  std::vector<char> buffer_;
};

}  // namespace unrar_standin
