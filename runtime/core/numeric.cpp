// Numeric built-ins: degree trigonometry, remainders, the random generator and the DATA table.
#include "core/numeric.h"

#include <cmath>
#include <cstring>

#include "core/core.h"
#include "core/debug.h"

namespace {
constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kRadiansToDegrees = 57.29577951308232;
}  // namespace

double SinDeg(double x) { return std::sin(x * kDegreesToRadians); }
double CosDeg(double x) { return std::cos(x * kDegreesToRadians); }
double TanDeg(double x) { return std::tan(x * kDegreesToRadians); }
double Atan2Deg(double y, double x) { return std::atan2(y, x) * kRadiansToDegrees; }

double AcosDeg(double x) {
  if (x >= 1) return 0;
  if (x <= -1) return 180;
  return std::acos(x) * kRadiansToDegrees;
}

double Sqrt(double x) { return std::sqrt(x); }
double Log(double x) { return std::log(x); }
double Pow(double x, double y) { return std::pow(x, y); }

double FMod(double x, double y) { return y == 0 ? 0.0 : std::fmod(x, y); }

int32_t IntMod(int32_t a, int32_t b) {
  if (b == 0 || b == -1) return 0;
  return a % b;
}

// ---------------------------------------------------------------- ISAAC

namespace {

struct Isaac {
  uint32_t results[256];
  uint32_t memory[256];
  uint32_t a, b, c;
  uint32_t resultCount;
};

Isaac g_isaac;
bool g_seeded = false;

#define VLM_ISAAC_MIX(a, b, c, d, e, f, g, h) \
  {                                           \
    a ^= b << 11; d += a; b += c;             \
    b ^= c >> 2;  e += b; c += d;             \
    c ^= d << 8;  f += c; d += e;             \
    d ^= e >> 16; g += d; e += f;             \
    e ^= f << 10; h += e; f += g;             \
    f ^= g >> 4;  a += f; g += h;             \
    g ^= h << 8;  b += g; h += a;             \
    h ^= a >> 9;  c += h; a += b;             \
  }

// One generation pass: 256 new result words.
void Generate(Isaac& r) {
  r.c += 1;
  r.b += r.c;
  for (int i = 0; i < 256; ++i) {
    const uint32_t x = r.memory[i];
    switch (i & 3) {
      case 0: r.a ^= r.a << 13; break;
      case 1: r.a ^= r.a >> 6; break;
      case 2: r.a ^= r.a << 2; break;
      default: r.a ^= r.a >> 16; break;
    }
    r.a += r.memory[(i + 128) & 255];
    const uint32_t y = r.memory[(x >> 2) & 255] + r.a + r.b;
    r.memory[i] = y;
    r.b = r.memory[(y >> 10) & 255] + x;
    r.results[i] = r.b;
  }
}

void Seed(Isaac& r, uint32_t seed) {
  std::memset(&r, 0, sizeof r);
  uint32_t a, b, c, d, e, f, g, h;
  a = b = c = d = e = f = g = h = 0x9e3779b9u;
  // The seed enters every block of the first pass; the mixing words then go
  // on into the standard initialisation without being reset.
  for (int i = 0; i < 256; i += 8) {
    a += seed;
    VLM_ISAAC_MIX(a, b, c, d, e, f, g, h);
    r.memory[i] = a; r.memory[i + 1] = b; r.memory[i + 2] = c; r.memory[i + 3] = d;
    r.memory[i + 4] = e; r.memory[i + 5] = f; r.memory[i + 6] = g; r.memory[i + 7] = h;
  }
  for (int i = 0; i < 4; ++i) VLM_ISAAC_MIX(a, b, c, d, e, f, g, h);
  for (int i = 0; i < 256; i += 8) {
    a += r.results[i]; b += r.results[i + 1]; c += r.results[i + 2]; d += r.results[i + 3];
    e += r.results[i + 4]; f += r.results[i + 5]; g += r.results[i + 6]; h += r.results[i + 7];
    VLM_ISAAC_MIX(a, b, c, d, e, f, g, h);
    r.memory[i] = a; r.memory[i + 1] = b; r.memory[i + 2] = c; r.memory[i + 3] = d;
    r.memory[i + 4] = e; r.memory[i + 5] = f; r.memory[i + 6] = g; r.memory[i + 7] = h;
  }
  for (int i = 0; i < 256; i += 8) {
    a += r.memory[i]; b += r.memory[i + 1]; c += r.memory[i + 2]; d += r.memory[i + 3];
    e += r.memory[i + 4]; f += r.memory[i + 5]; g += r.memory[i + 6]; h += r.memory[i + 7];
    VLM_ISAAC_MIX(a, b, c, d, e, f, g, h);
    r.memory[i] = a; r.memory[i + 1] = b; r.memory[i + 2] = c; r.memory[i + 3] = d;
    r.memory[i + 4] = e; r.memory[i + 5] = f; r.memory[i + 6] = g; r.memory[i + 7] = h;
  }
  Generate(r);
  r.resultCount = 256;
}

#undef VLM_ISAAC_MIX

}  // namespace

void SeedRnd(uint32_t seed) {
  Seed(g_isaac, seed);
  g_seeded = true;
}

double Rnd(double n) {
  if (!(n >= 1)) return 0;  // also NaN
  if (!g_seeded) SeedRnd(0);
  Generate(g_isaac);
  const uint64_t r = g_isaac.results[0];
  // n + 1 is formed in 64 bits: with 32 bits, n = 4294967295 would divide by 0.
  if (n >= 4294967296.0) return static_cast<double>(r);
  const uint64_t range = static_cast<uint64_t>(n) + 1;
  return static_cast<double>(r % range);
}

// ---------------------------------------------------------------- DATA

namespace {
DataTable* g_data = nullptr;

// The entry to read next, or null (error 20 recorded, END run) when none.
const DataEntry* NextEntry() {
  if (g_data == nullptr || g_data->entries == nullptr || g_data->cursor < 0 ||
      g_data->cursor >= g_data->count) {
    EndWithError(kErrorOutOfData);
    return nullptr;
  }
  return &g_data->entries[g_data->cursor++];
}

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(value);
}
}  // namespace

void RestoreData(DataTable* table) {
  g_data = table;
  if (table != nullptr) table->cursor = 0;
}

void ReadData(double& variable) {
  const DataEntry* entry = NextEntry();
  if (entry == nullptr) return;
  variable = entry->text != nullptr ? TextToDouble(entry->text) : entry->value;
}

void ReadData(int32_t& variable) {
  const DataEntry* entry = NextEntry();
  if (entry == nullptr) return;
  variable = entry->text != nullptr ? TextToInt32(entry->text) : TruncateToInt32(entry->value);
}

void ReadData(BasicString& variable) {
  const DataEntry* entry = NextEntry();
  if (entry == nullptr) return;
  if (entry->text != nullptr)
    variable = entry->text;
  else
    variable = entry->value;
}
