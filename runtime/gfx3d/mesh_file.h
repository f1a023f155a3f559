// Object files (.xqo): the binary form (read and written), the "XQOA" text
// form and ";XQW" scene files, as readers over bytes already in memory. Every
// reader treats its input as hostile: counts are checked against the bytes
// that are really there, every index against the list it selects, and a file
// that fails a check leaves the mesh empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gfx3d/mesh.h"

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

// The binary form, magic included, into an emptied mesh: the frames' strip
// lists, the palette and normals done := 1. *version receives the header's
// version when the header is there. Nothing else (triangles, bounds) is built.
MeshReadResult ReadMeshBinary(const uint8_t* bytes, size_t size, MeshObject& mesh, double* version);
// The text form ("XQOA" first) into an emptied mesh: every polygon becomes a
// triangle fan, and the palette is built.
MeshReadResult ReadMeshText(const uint8_t* bytes, size_t size, MeshObject& mesh);
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
