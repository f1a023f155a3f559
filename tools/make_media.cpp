// Draws Polyvane's textures and writes them as PNG files into a folder
// (default data/media): a checker floor, tiles, marble, wood grain, bricks
// and a stone pattern. Everything is computed from fixed seeds, so running
// the tool again gives the same files byte for byte.
//
//   make_media [output folder]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gfx2d/picture.h"

namespace {

// ------------------------------------------------------------ noise

// A small integer hash: the lattice values of the value noise below.
uint32_t Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B1u;
  h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
  h *= 0x27D4EB2Fu;
  h ^= h >> 15;
  h *= 0x165667B1u;
  h ^= h >> 13;
  return h;
}

double Lattice(int32_t x, int32_t y, int32_t period, uint32_t seed) {
  // Wrapping the lattice makes the noise tile seamlessly over the texture.
  x = ((x % period) + period) % period;
  y = ((y % period) + period) % period;
  return (Hash(x, y, seed) & 0xFFFF) / 65535.0;
}

double Smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise in 0..1 with `period` lattice cells across the texture.
double Noise(double u, double v, int32_t period, uint32_t seed) {
  const double x = u * period;
  const double y = v * period;
  const int32_t x0 = static_cast<int32_t>(std::floor(x));
  const int32_t y0 = static_cast<int32_t>(std::floor(y));
  const double fx = Smooth(x - x0);
  const double fy = Smooth(y - y0);
  const double a = Lattice(x0, y0, period, seed);
  const double b = Lattice(x0 + 1, y0, period, seed);
  const double c = Lattice(x0, y0 + 1, period, seed);
  const double d = Lattice(x0 + 1, y0 + 1, period, seed);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Fractal sum of octaves, 0..1.
double Turbulence(double u, double v, int32_t period, int octaves, uint32_t seed) {
  double sum = 0.0;
  double weight = 0.5;
  double total = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += Noise(u, v, period << o, seed + o) * weight;
    total += weight;
    weight *= 0.5;
  }
  return sum / total;
}

// ------------------------------------------------------------ colours

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour Scale(Colour c, double s) { return {c.r * s, c.g * s, c.b * s}; }

uint8_t Channel(double value) {
  // Coarse steps keep the PNG files small; the eye does not miss the levels
  // under linear filtering and vertex colours.
  const double clamped = value < 0 ? 0 : (value > 255 ? 255 : value);
  return static_cast<uint8_t>(static_cast<int>(clamped) & 0xFC);
}

template <class Shader>
bool Draw(const std::string& path, int32_t size, Shader shade) {
  Picture picture;
  if (!picture.Resize(size, size)) return false;
  for (int32_t y = 0; y < size; ++y) {
    for (int32_t x = 0; x < size; ++x) {
      const Colour c = shade((x + 0.5) / size, (y + 0.5) / size);
      uint8_t* p = picture.Pixel(x, y);
      p[0] = Channel(c.r);
      p[1] = Channel(c.g);
      p[2] = Channel(c.b);
      p[3] = 255;
    }
  }
  if (!SavePicture(path.c_str(), picture)) {
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %d x %d, %lld bytes\n", path.c_str(), size, size,
              static_cast<long long>(std::filesystem::file_size(path)));
  return true;
}

// ------------------------------------------------------------ patterns

// Light and dark squares, 4 x 4 per texture, with a faint mottling so the
// floor does not look like flat paint under the fog.
Colour Checker(double u, double v) {
  const int cell = (static_cast<int>(u * 4) + static_cast<int>(v * 4)) & 1;
  const double mottle = 0.9 + 0.1 * Noise(u, v, 8, 11);
  const Colour light{236, 232, 220};
  const Colour dark{150, 146, 140};
  return Scale(cell ? dark : light, mottle);
}

// Square tiles, 4 x 4, with grout lines and a slight shade per tile.
Colour Tiles(double u, double v) {
  const double fu = u * 4 - std::floor(u * 4);
  const double fv = v * 4 - std::floor(v * 4);
  const double edge = 0.045;
  if (fu < edge || fv < edge || fu > 1 - edge || fv > 1 - edge) return {96, 92, 88};
  const double tile = (Hash(static_cast<int>(u * 4), static_cast<int>(v * 4), 21) & 0xFF) / 255.0;
  const Colour base = Mix(Colour{200, 214, 226}, Colour{170, 190, 212}, tile);
  return Scale(base, 0.92 + 0.08 * Noise(u, v, 16, 22));
}

// White marble with grey-green veins from a turbulent sine.
Colour Marble(double u, double v) {
  const double t = Turbulence(u, v, 4, 4, 31);
  const double vein = std::fabs(std::sin((u * 2 + v + t * 3.0) * 3.14159265 * 2));
  const double s = std::pow(vein, 0.35);
  return Mix(Colour{92, 110, 104}, Colour{242, 240, 234}, s);
}

// Wood: rings around a point outside the texture, warped by noise.
Colour Wood(double u, double v) {
  const double warp = Turbulence(u, v, 4, 3, 41) * 0.35;
  const double ring = std::sqrt((u + 0.7) * (u + 0.7) * 0.15 + (v - 0.2) * (v - 0.2) * 4) * 8 + warp * 8;
  const double t = ring - std::floor(ring);
  const double grain = 0.85 + 0.15 * Noise(u * 0.25, v, 64, 42);
  return Scale(Mix(Colour{196, 140, 82}, Colour{120, 70, 34}, Smooth(t)), grain);
}

// Running-bond bricks, 8 rows, with mortar.
Colour Bricks(double u, double v) {
  const int rows = 8;
  const double y = v * rows;
  const int row = static_cast<int>(y);
  const double x = u * 4 + (row & 1) * 0.5;
  const double fx = x - std::floor(x);
  const double fy = y - row;
  if (fy < 0.1 || fx < 0.04) return {196, 190, 178};
  const int brick = static_cast<int>(std::floor(x)) & 3;
  const double shade = (Hash(brick, row, 51) & 0xFF) / 255.0;
  const Colour base = Mix(Colour{170, 62, 40}, Colour{128, 44, 30}, shade);
  return Scale(base, 0.85 + 0.15 * Noise(u, v, 32, 52));
}

// Rough grey stone for the cones and cylinders.
Colour Stone(double u, double v) {
  const double t = Turbulence(u, v, 8, 4, 61);
  const double spots = Noise(u, v, 32, 62) > 0.8 ? 0.8 : 1.0;
  return Scale(Mix(Colour{112, 112, 116}, Colour{200, 198, 192}, t), spots);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "data/media";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  bool ok = true;
  ok &= Draw(base + "checker.png", 128, Checker);
  ok &= Draw(base + "tiles.png", 128, Tiles);
  ok &= Draw(base + "marble.png", 128, Marble);
  ok &= Draw(base + "wood.png", 128, Wood);
  ok &= Draw(base + "bricks.png", 128, Bricks);
  ok &= Draw(base + "stone.png", 128, Stone);
  return ok ? 0 : 1;
}
