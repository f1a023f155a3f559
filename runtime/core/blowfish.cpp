// Blowfish: key schedule and block encryption for the text cipher built-ins.
#include "core/internal/blowfish.h"

#include <cstring>

namespace {
#include "core/blowfish_tables.inc"
}  // namespace

const uint32_t* BlowfishInitialP() { return kInitialP; }
const uint32_t* BlowfishInitialS(int box) { return kInitialS[box & 3]; }

Blowfish::Blowfish(const uint8_t* key, uint32_t keyLength) {
  std::memcpy(p_, kInitialP, sizeof p_);
  std::memcpy(s_, kInitialS, sizeof s_);
  if (keyLength == 0) return;  // no key bytes to mix in: the bare tables
  uint32_t position = 0;
  for (uint32_t& word : p_) {
    uint32_t data = 0;
    for (int k = 0; k < 4; ++k) {
      data = (data << 8) | key[position];
      if (++position == keyLength) position = 0;
    }
    word ^= data;
  }
  uint32_t left = 0;
  uint32_t right = 0;
  for (int i = 0; i < 18; i += 2) {
    EncryptBlock(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      EncryptBlock(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

uint32_t Blowfish::F(uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void Blowfish::EncryptBlock(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  l ^= p_[16];
  r ^= p_[17];
  left = r;
  right = l;
}

void Blowfish::DecryptBlock(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i - 1];
    l ^= F(r);
  }
  l ^= p_[1];
  r ^= p_[0];
  left = r;
  right = l;
}
