// Little-endian fields of files and wire messages: reads from and writes to byte ranges.
#pragma once

#include <cstdint>

// The readers take any byte pointer (char, unsigned char, uint8_t); the caller has checked that
// the field lies inside its range.
inline uint16_t LoadLittle16(const void* bytes) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t LoadLittle32(const void* bytes) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t LoadLittle64(const void* bytes) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  return static_cast<uint64_t>(LoadLittle32(p)) | static_cast<uint64_t>(LoadLittle32(p + 4)) << 32;
}

inline void StoreLittle16(void* bytes, uint16_t value) {
  auto* p = static_cast<uint8_t*>(bytes);
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreLittle32(void* bytes, uint32_t value) {
  auto* p = static_cast<uint8_t*>(bytes);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
