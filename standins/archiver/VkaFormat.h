#pragma once
// The container format of our VKA stand-in (see README.md). Little-endian throughout.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vka {

inline constexpr char kMagic[4] = {'V', 'V', 'K', 'A'};
inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kHeaderSize = 32;
inline constexpr uint8_t kStored = 0;
inline constexpr uint8_t kDeflated = 1;
// Limits that keep a damaged table from asking for absurd amounts of memory.
inline constexpr uint32_t kMaxEntries = 1u << 20;
inline constexpr size_t kChunk = 64 * 1024;

struct Entry {
  std::string path;  // relative, '/' separated, UTF-8
  uint8_t method = kStored;
  uint64_t offset = 0;
  uint64_t packedSize = 0;
  uint64_t size = 0;
  uint32_t crc = 0;
};

struct Toc {
  std::string archiveName;
  std::string tocName;
  std::string alias;
  std::vector<Entry> entries;
};

// Serialised table (what follows the payloads).
std::string EncodeTable(const Toc& toc);
// Parses a table; false (with a reason) when it is malformed.
bool DecodeTable(const std::string& bytes, uint32_t count, Toc& toc, std::string& reason);
std::string EncodeHeader(uint64_t tableOffset, uint32_t count);

// Whether a stored path stays inside the folder it is unpacked into: relative, no empty, "."
// or ".." component, no backslash or control character.
bool SafeRelativePath(const std::string& path);

// Error output: "archive.exe: " + message.
void Fail(const std::string& message);

int Pack(const std::string& script, const std::string& output, const std::string& root);
int Unpack(const std::string& input, const std::string& folder);

}  // namespace vka
