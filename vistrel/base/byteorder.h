// Byte order of file data: 16- and 32-bit values read from and written to bytes, little-endian
// (Intel), big-endian (Motorola) or either as a file says.
#pragma once
#include <cstdint>

inline uint16_t VLGetLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t VLGetLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t VLGetBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t VLGetBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t VLGet16(bool bigEndian, const uint8_t* p) { return bigEndian ? VLGetBE16(p) : VLGetLE16(p); }
inline uint32_t VLGet32(bool bigEndian, const uint8_t* p) { return bigEndian ? VLGetBE32(p) : VLGetLE32(p); }

inline void VLPutLE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void VLPutLE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
