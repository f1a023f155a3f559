// The Blowfish block cipher (64-bit blocks, keys of 1 to 72 bytes).
//
// Blocks are two 32-bit words, left and right, the way the cipher's
// published test vectors write them: the first four bytes of a big-endian
// block are the left word. Callers choose how bytes map onto the words.
#pragma once

#include <cstdint>

// One keyed instance of the cipher.
class Blowfish {
 public:
  // The standard key schedule over the key's bytes, cycled and packed
  // big-endian into 32-bit words. keyLength must be at least 1; bytes past
  // 72 are not used.
  Blowfish(const uint8_t* key, uint32_t keyLength);

  void EncryptBlock(uint32_t& left, uint32_t& right) const;
  void DecryptBlock(uint32_t& left, uint32_t& right) const;

 private:
  uint32_t F(uint32_t x) const;

  uint32_t p_[18];
  uint32_t s_[4][256];
};

// The cipher's start-up tables: the hexadecimal fraction digits of pi, 32
// bits at a time (P-array first, then the four S-boxes). Exposed for tests.
const uint32_t* BlowfishInitialP();                 // 18 words
const uint32_t* BlowfishInitialS(int box);          // 256 words, box 0..3
