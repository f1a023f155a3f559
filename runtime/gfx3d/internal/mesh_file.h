// Object files (.xqo): the binary form (read and written), the "XQOA" text
// form and ";XQW" scene files, as readers over bytes already in memory. Every
// reader treats its input as hostile: counts are checked against the bytes
// that are really there, every index against the list it selects, and a file
// that fails a check leaves the mesh empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx3d/internal/mesh.h"

// The binary form's first four bytes, little-endian (17 B3 C6 00).
constexpr int32_t kMeshFileMagic = 0x00C6B317;
// Versions of the binary form that load; files are written as the newest.
constexpr double kMeshFileOldestVersion = 1.02;
constexpr double kMeshFileVersion = 2.0;
// The text form's keyword and its newest version (compared in float32).
constexpr float kMeshTextNewestVersion = 1.1f;
// Bytes of the fixed header and of one record of each frame layout.
constexpr size_t kMeshFileHeaderBytes = 24;
constexpr size_t kMeshRecordBytes = 14;          // version 2.0
constexpr size_t kMeshQuantisedRecordBytes = 5;  // versions below 2.0
constexpr size_t kMeshQuantisedFrameHeader = 28;  // N, offset x y z, scale x y z

// What one object may take in memory: its palette, texture coordinates,
// frames and their records as the engine keeps them. A file that declares
// more is refused as a malloc error before anything is allocated for it.
constexpr uint64_t kMeshMostBytes = uint64_t{1} << 30;
// Text-form and scene files larger than this are refused unread (a malloc
// error): they hold no counts to read by, and nothing real comes near it.
constexpr uint64_t kMeshTextMostBytes = uint64_t{64} << 20;
// The memory kept for a binary file of these counts with `records` records
// read so far; held against kMeshMostBytes.
uint64_t MeshKeptBytes(int64_t paletteCount, int64_t pairCount, int64_t frameCount, int64_t records);

// False when the first bytes of a file already show that it is no text
// form: its first token (after separators and comments) is not "XQOA".
// True when they cannot tell.
bool MeshTextMayStart(const uint8_t* bytes, size_t size);

// The 162 unit normals a record's normal index selects.
constexpr int32_t kNormalTableSize = 162;
extern const float NORMAL_TABLE[kNormalTableSize][3];
// The table entry a normal is stored as: the normal is made unit length (when
// its squared length exceeds 1e-7), every entry t is scored |n . (n - t)| in
// index order, a score at most the best so far replaces it, and a score of 0
// ends the search. A zero normal gets entry 0.
int32_t NormalTableIndex(float nx, float ny, float nz);

// The outcome of reading an object file.
enum class MeshReadResult : uint8_t {
  kLoaded,
  kReadError,     // damaged, truncated or inconsistent contents
  kMallocError,   // a list could not grow
  kWrongVersion,  // a binary file of a version outside 1.02..2.0
};

// The binary form, magic included, into a mesh emptied by ReleaseMesh (the
// frames it still has are filled again, keeping their blocks): the frames'
// strip lists, the palette and normals done := 1. *version receives the
// header's version when the header is there. Nothing else (triangles,
// bounds) is built.
MeshReadResult ReadMeshBinary(const uint8_t* bytes, size_t size, MeshObject& mesh, double* version);
// The text form ("XQOA" first) into an emptied mesh: every polygon becomes a
// triangle fan, and the palette is built.
MeshReadResult ReadMeshText(const uint8_t* bytes, size_t size, MeshObject& mesh);
// Reads n bytes of a file at an offset into out; false when they are not all there.
using MeshFieldReader = std::function<bool(uint64_t offset, uint8_t* out, size_t n)>;
// Walks a binary file's header and the count of every frame through read,
// never its palette, pairs or records, so that a file can be read no
// further than it declares. kLoaded when every count is sound (in range,
// within the file's size, within what kMeshMostBytes can keep), with the
// bytes the file declares in *declared; otherwise what ReadMeshBinary gives
// for such a file (the version in *version for kWrongVersion).
MeshReadResult MeshBinaryDeclaredBytes(const MeshFieldReader& read, uint64_t size, uint64_t* declared,
                                       double* version);

// The file a mesh is saved as: version 2.0, frame 0's texture coordinates.
std::string EncodeMeshBinary(const MeshObject& mesh);

// One object a scene file lists: its object file and texture numbers. Texture
// numbers are the file's, less one when above 0 (so 0 and 1 both select the
// first texture).
struct MeshSceneObject {
  std::string file;
  int32_t texture1 = 0;
  int32_t texture2 = 0;
};
// What a scene file lists: its texture files and objects.
struct MeshScene {
  std::vector<std::string> textures;
  std::vector<MeshSceneObject> objects;
};
// The sections "textures" and "objects" of a scene file's INI text. Counts
// are limited by what the text could list (a missing entry is an empty name);
// false for text that does not start with ";XQW".
bool ParseMeshScene(const char* text, size_t size, MeshScene* scene);
