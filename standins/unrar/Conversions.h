#pragma once
// Volume names, UTF-8 and DOS time stamps: the conversions the header reader and the entry
// points share.
#include <cstdint>
#include <string>

namespace unrar_standin {

struct FileEntry;

// The name of the volume after path: "x.part1.rar" -> "x.part2.rar", or with the old scheme
// "x.rar" -> "x.r00" -> "x.r01".
std::string NextVolumeName(const std::string& path, bool newNumbering);

// UTF-8 <-> wide (UTF-32) conversions; invalid bytes become U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// The entry's modification time as Unix time; -1 when the archive gives none.
int64_t ModificationTime(const FileEntry& entry);

// DOS stamps in local time.
uint32_t UnixToLocalDos(int64_t unixTime);
int64_t LocalDosToUnix(uint32_t dos);

}  // namespace unrar_standin
