// Blowfish against the published ECB vectors, its tables against pi, and
// the Encrypt / Decrypt texts built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/internal/blowfish.h"

namespace {

uint64_t Hex64(const char* text) { return std::stoull(text, nullptr, 16); }

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Eric Young's ECB test set for 8-byte keys (big-endian words).
const Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(Blowfish, PublishedVectors) {
  for (const Vector& v : kVectors) {
    const uint64_t keyValue = Hex64(v.key);
    uint8_t key[8];
    for (int i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(keyValue >> (56 - 8 * i));
    const Blowfish cipher(key, 8);
    const uint64_t plain = Hex64(v.plain);
    uint32_t left = static_cast<uint32_t>(plain >> 32);
    uint32_t right = static_cast<uint32_t>(plain);
    cipher.EncryptBlock(left, right);
    EXPECT_EQ((uint64_t{left} << 32) | right, Hex64(v.cipher)) << "key " << v.key;
    cipher.DecryptBlock(left, right);
    EXPECT_EQ((uint64_t{left} << 32) | right, plain) << "key " << v.key;
  }
}

// Hexadecimal digits of pi from position d + 1 on (Bailey-Borwein-Plouffe),
// computed here independently of the tables.
double BbpSeries(int j, int d) {
  double sum = 0;
  for (int k = 0; k <= d; ++k) {
    const int64_t modulus = 8 * k + j;
    int64_t power = 1;
    int64_t base = 16 % modulus;
    for (int e = d - k; e > 0; e >>= 1) {
      if (e & 1) power = power * base % modulus;
      base = base * base % modulus;
    }
    sum += static_cast<double>(power) / static_cast<double>(modulus);
    sum -= std::floor(sum);
  }
  for (int k = d + 1; k <= d + 20; ++k) sum += std::pow(16.0, d - k) / (8 * k + j);
  return sum - std::floor(sum);
}

uint32_t PiHexDigits16(int d) {
  double x = 4 * BbpSeries(1, d) - 2 * BbpSeries(4, d) - BbpSeries(5, d) - BbpSeries(6, d);
  x -= std::floor(x);
  return static_cast<uint32_t>(x * 65536.0);
}

TEST(Blowfish, TablesAreTheFractionDigitsOfPi) {
  EXPECT_EQ(BlowfishInitialP()[0], 0x243F6A88u);  // pi = 3.243F6A88...
  // Word w holds fraction digits 8w + 1 .. 8w + 8; check its top four.
  for (int w = 0; w < 18 + 1024; w += 41) {
    const uint32_t word = w < 18 ? BlowfishInitialP()[w] : BlowfishInitialS((w - 18) / 256)[(w - 18) % 256];
    EXPECT_EQ(word >> 16, PiHexDigits16(8 * w)) << "word " << w;
  }
  const uint32_t last = BlowfishInitialS(3)[255];
  EXPECT_EQ(last >> 16, PiHexDigits16(8 * 1041));
}

std::string Text(const BasicString& s) { return std::string(s.c_str(), s.Length()); }

TEST(Blowfish, EncryptTakesLittleEndianWords) {
  // Key FF..FF, plain FF..FF -> 51866FD5 B85ECB8A: the text is eight 0xFF
  // bytes; each cipher word is written back low byte first.
  const BasicString key("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
  const BasicString text("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
  const std::string hex = Text(Encrypt(key, text));
  ASSERT_EQ(hex.size(), 32u);  // the terminating NUL starts a second block
  EXPECT_EQ(hex.substr(0, 16), "d56f86518acb5eb8");
  EXPECT_EQ(Text(Decrypt(key, BasicString(hex.c_str()))), Text(text));
  // Decrypt takes either case.
  std::string upper = hex;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Text(Decrypt(key, BasicString(upper.c_str()))), Text(text));
}

TEST(Blowfish, EncryptDecryptRoundTrips) {
  const BasicString key("secret key");
  for (const char* message : {"", "a", "1234567", "12345678", "The quick brown fox jumps"}) {
    const BasicString hex = Encrypt(key, BasicString(message));
    const size_t blocks = (std::string(message).size() + 1 + 7) / 8;
    EXPECT_EQ(hex.Length(), blocks * 16) << message;
    EXPECT_EQ(Text(Decrypt(key, hex)), message);
    EXPECT_NE(Text(Decrypt(BasicString("other key"), hex)), message);
  }
  EXPECT_NE(Text(Encrypt(BasicString("k1"), "same")), Text(Encrypt(BasicString("k2"), "same")));
  // No key or broken hex give an empty text instead of garbage.
  EXPECT_EQ(Text(Encrypt(BasicString(), "text")), "");
  EXPECT_EQ(Text(Decrypt(BasicString(), "00")), "");
  EXPECT_EQ(Text(Decrypt(key, "zz00000000000000")), "");
  // A part block at the end is ignored.
  const std::string hex = Text(Encrypt(key, "hi"));
  EXPECT_EQ(Text(Decrypt(key, BasicString((hex + "abc").c_str()))), "hi");
}

}  // namespace
