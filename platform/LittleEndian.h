#pragma once
// Little-endian integers as archive and image formats store them, independent of the host's
// byte order. Header-only, so the stand-ins (the Windows archive.exe too) can use it without
// linking the platform library.
#include <cstdint>

namespace platform {

// The unsigned integer of width bytes (1 to 8) at p.
inline uint64_t GetLe(const void* p, int width) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v |= uint64_t{bytes[i]} << (8 * i);
  return v;
}
inline uint16_t GetLe16(const void* p) {
  return static_cast<uint16_t>(GetLe(p, 2));
}
inline uint32_t GetLe32(const void* p) {
  return static_cast<uint32_t>(GetLe(p, 4));
}
inline uint64_t GetLe64(const void* p) {
  return GetLe(p, 8);
}

// Stores the low width bytes (1 to 8) of v at p.
inline void PutLe(void* p, uint64_t v, int width) {
  auto* bytes = static_cast<unsigned char*>(p);
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutLe16(void* p, uint16_t v) {
  PutLe(p, v, 2);
}
inline void PutLe32(void* p, uint32_t v) {
  PutLe(p, v, 4);
}

// Appends the low width bytes (1 to 8) of v to a byte container with push_back(char):
// std::string, std::vector<char>, QByteArray.
template <typename Bytes>
void AppendLe(Bytes& out, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

}  // namespace platform
