#include "ZipWriter.h"

#include <archive.h>
#include <archive_entry.h>

namespace ziptest {
namespace {

[[noreturn]] void Fail(archive* a) {
  const char* error = archive_error_string(a);
  throw std::runtime_error(error ? error : "libarchive failed");
}

}  // namespace

ZipFileWriter::ZipFileWriter(const std::string& path, const ZipFileOptions& options)
    : archive_(archive_write_new()), options_(options) {
  archive_write_set_format_zip(archive_);
  if (options.store) archive_write_set_format_option(archive_, "zip", "compression", "store");
  if (archive_write_open_filename(archive_, path.c_str()) != ARCHIVE_OK) {
    archive_write_free(archive_);
    throw std::runtime_error("cannot write " + path);
  }
}

ZipFileWriter::~ZipFileWriter() {
  Close();
}

void ZipFileWriter::AddHeader(const std::string& name, size_t size) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, name.c_str());
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, static_cast<la_int64_t>(size));
  if (options_.mtime) archive_entry_set_mtime(entry, *options_.mtime, 0);
  const int rc = archive_write_header(archive_, entry);
  archive_entry_free(entry);
  // A warning (a name libarchive cannot convert, say) still writes the entry.
  if (rc < ARCHIVE_WARN) Fail(archive_);
}

void ZipFileWriter::AddData(const std::string& data) {
  if (archive_write_data(archive_, data.data(), data.size()) !=
      static_cast<la_ssize_t>(data.size()))
    Fail(archive_);
}

void ZipFileWriter::Close() {
  if (!archive_) return;
  archive_write_close(archive_);
  archive_write_free(archive_);
  archive_ = nullptr;
}

void WriteZip(const std::string& path, const Files& files, const ZipFileOptions& options) {
  ZipFileWriter zip(path, options);
  for (const auto& [name, data] : files) zip.Add(name, data);
}

}  // namespace ziptest
