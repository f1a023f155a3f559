// LoadMesh and SaveMesh: object files through the file layer, scene files with their textures, the run-log lines.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/basic_string.h"
#include "core/core.h"
#include "core/little_endian.h"
#include "core/run_log.h"
#include "files/file_write.h"
#include "files/ini_text.h"
#include "files/read_channel.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/texture_picture.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh_file.h"
#include "gl/gl_ext.h"

namespace {

constexpr char kSceneTag[] = ";XQW";
constexpr size_t kLineLimit = 1024;

// The bytes of a file: a memory block or archive entry is read in place, a
// real file is read once into `owned`.
struct FileBytes {
  ReadChannel channel;
  std::vector<uint8_t> owned;
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool open = false;
  // A binary file whose counts were found wrong before its bytes were read.
  MeshReadResult refused = MeshReadResult::kLoaded;
  double version = 0;
  ~FileBytes() {
    if (open) CloseChannel(channel);
  }
};

enum class OpenResult { kOpened, kMissing, kNoMemory };

// The first read of a real file, and the least each further read asks for.
constexpr size_t kReadBlock = 64 * 1024;

// Appends bytes of the file until `owned` holds `until` of them (or the
// file ends); false when memory runs out.
bool ReadUpTo(FileBytes* file, uint64_t until) {
  const size_t have = file->owned.size();
  if (until <= have) return true;
  try {
    file->owned.resize(static_cast<size_t>(until));
  } catch (const std::bad_alloc&) {
    file->owned.resize(have);
    return false;
  }
  size_t got = have;
  while (got < until) {
    file->channel.position = static_cast<int64_t>(got);
    const int64_t n = ChannelRead(file->channel, file->owned.data() + got, static_cast<int64_t>(until - got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  file->owned.resize(got);
  return true;
}

// A real file is read by what it declares: a binary file as far as its
// counts reach, once they have been walked and held against its size and
// what can be kept; a text or scene file whole, when its start can be one
// and it is not larger than kMeshTextMostBytes.
OpenResult ReadDeclaredBytes(FileBytes* file) {
  const uint64_t size = static_cast<uint64_t>(file->channel.size);
  if (!ReadUpTo(file, std::min<uint64_t>(size, kReadBlock))) return OpenResult::kNoMemory;
  const std::vector<uint8_t>& first = file->owned;
  const bool binary = first.size() >= 4 && LoadLittle32(first.data()) == static_cast<uint32_t>(kMeshFileMagic);
  if (binary) {
    // The counts are read through a window of one block, so that small
    // frames cost one read per block and large ones one read each.
    std::vector<uint8_t> window;
    uint64_t windowAt = 0;
    ReadChannel& channel = file->channel;
    const MeshFieldReader read = [&](uint64_t offset, uint8_t* out, size_t n) {
      if (offset + n > size) return false;
      if (offset < windowAt || offset + n > windowAt + window.size()) {
        window.resize(static_cast<size_t>(std::min<uint64_t>(kReadBlock, size - offset)));
        channel.position = static_cast<int64_t>(offset);
        if (ChannelRead(channel, window.data(), static_cast<int64_t>(window.size())) !=
            static_cast<int64_t>(window.size()))
          return false;
        windowAt = offset;
      }
      std::memcpy(out, window.data() + (offset - windowAt), n);
      return true;
    };
    uint64_t declared = 0;
    file->refused = MeshBinaryDeclaredBytes(read, size, &declared, &file->version);
    if (file->refused != MeshReadResult::kLoaded) return OpenResult::kOpened;
    if (declared < file->owned.size()) file->owned.resize(static_cast<size_t>(declared));
    return ReadUpTo(file, declared) ? OpenResult::kOpened : OpenResult::kNoMemory;
  }
  const bool scene = first.size() >= 4 && std::memcmp(first.data(), kSceneTag, 4) == 0;
  if (!scene && !MeshTextMayStart(first.data(), first.size())) return OpenResult::kOpened;
  if (size > kMeshTextMostBytes) return OpenResult::kNoMemory;
  return ReadUpTo(file, size) ? OpenResult::kOpened : OpenResult::kNoMemory;
}

OpenResult OpenFileBytes(const char* name, FileBytes* file) {
  ResolvedFile resolved;
  if (name == nullptr || !ResolveFile(MemoryResolver(), name, &resolved)) return OpenResult::kMissing;
  if (!OpenReadChannel(file->channel, resolved)) return OpenResult::kMissing;
  file->open = true;
  if (file->channel.memory != nullptr) {
    file->data = file->channel.memory;
    file->size = static_cast<size_t>(file->channel.size);
    return OpenResult::kOpened;
  }
  const OpenResult result = ReadDeclaredBytes(file);
  file->data = file->owned.data();
  file->size = file->owned.size();
  return result;
}

void LogReadFailure(MeshReadResult result, const char* name) {
  WriteLog(result == MeshReadResult::kMallocError ? "# malloc error\n" : "# read error\n");
  WriteLogF("%s\n", name);
}

// Fills an emptied mesh from an object file's bytes (binary or text form).
// On failure the run log gets its lines and the mesh is emptied again;
// *outcome (when given) says what the reading came to.
bool LoadMeshBytes(MeshObjectX& mesh, const char* name, OpenResult opened, const FileBytes& file,
                   MeshReadResult* outcome = nullptr) {
  // The binary reader fills the mesh's emptied frames again, in the blocks
  // they have; the text reader starts from none. What the reading does not
  // fill (the draw copy, the edge list, the kept volume) is given back: the
  // next object may need none of it.
  ReleaseMesh(mesh, false);
  mesh.drawBuffer.Free();
  mesh.shadowEdges.Free();
  mesh.facing.Free();
  ForgetShadowVolume(mesh, true);
  MeshReadResult result = MeshReadResult::kReadError;
  if (opened == OpenResult::kNoMemory) {
    result = MeshReadResult::kMallocError;
  } else if (opened == OpenResult::kOpened && file.refused != MeshReadResult::kLoaded) {
    result = file.refused;
    if (result == MeshReadResult::kWrongVersion)
      WriteLogF("Wrong .xqo version: %.2f. Can use 1.02-%.2f\n", file.version, kMeshFileVersion);
  } else if (opened == OpenResult::kOpened) {
    const uint32_t magic = file.size >= 4 ? LoadLittle32(file.data) : 0;
    if (magic == static_cast<uint32_t>(kMeshFileMagic)) {
      double version = 0;
      result = ReadMeshBinary(file.data, file.size, mesh, &version);
      if (result == MeshReadResult::kWrongVersion)
        WriteLogF("Wrong .xqo version: %.2f. Can use 1.02-%.2f\n", version, kMeshFileVersion);
    } else {
      mesh.frames.Free();
      result = ReadMeshText(file.data, file.size, mesh);
    }
  }
  if (outcome != nullptr) *outcome = result;
  if (result == MeshReadResult::kLoaded) return true;
  ReleaseMesh(mesh, true);
  LogReadFailure(result, name);
  return false;
}

bool LoadMeshFile(MeshObjectX& mesh, const char* name) {
  FileBytes file;
  const OpenResult opened = OpenFileBytes(name, &file);
  return LoadMeshBytes(mesh, name, opened, file);
}

bool IsAbsoluteName(const std::string& name) {
  return IsMemoryFileName(name.c_str()) || (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
         (name.size() > 1 && name[1] == ':');
}

// Entries name files relative to the scene file's folder. A scene that is a
// memory file has no folder: its entries are used as they are.
std::string SceneEntryPath(const std::string& sceneName, const std::string& entry) {
  if (IsAbsoluteName(entry) || IsMemoryFileName(sceneName.c_str())) return entry;
  const size_t slash = sceneName.find_last_of("/\\");
  return slash == std::string::npos ? entry : sceneName.substr(0, slash + 1) + entry;
}

void LoadScene(MeshSlot& slot, const std::string& sceneName, const uint8_t* bytes, size_t size) {
  slot.valid = 1;
  slot.multiPart = 1;
  // The scene's text is copied out first: resolving the files it names
  // releases the block it came in.
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  MeshScene scene;
  ParseMeshScene(text.data(), text.size(), &scene);
  slot.textures.SetGrowth(1, 1);
  slot.meshes.SetGrowth(1, 1);
  if (!slot.textures.Reserve(static_cast<int64_t>(scene.textures.size()))) return;
  for (const std::string& entry : scene.textures) {
    // A texture no reader takes keeps its position with no texture in it, so
    // the numbers of the later ones stay as the scene gives them.
    uint32_t name = 0;
    Picture picture;
    if (!entry.empty() && LoadTexturePicture(SceneEntryPath(sceneName, entry).c_str(), picture))
      UploadPicture(picture, 0, 0, 0, 0, &name, nullptr, false, false);
    slot.textures.Append(name);
  }
  if (!slot.meshes.Reserve(static_cast<int64_t>(scene.objects.size()))) return;
  for (const MeshSceneObject& object : scene.objects) {
    MeshObjectX* mesh = slot.meshes.AppendNew();
    if (mesh == nullptr) return;
    LoadMeshFile(*mesh, SceneEntryPath(sceneName, object.file).c_str());
    mesh->texture1Index = object.texture1;
    mesh->texture2Index = object.texture2;
    mesh->BuildTriangles();
    ComputeFrameBounds(*mesh, true);
  }
}

std::vector<std::string> SplitLines(const char* text, size_t size) {
  // As the INI store reads a file: a line ends at a line feed, a carriage
  // return before it is dropped, and a longer line continues as the next.
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < size) {
    const void* feed = std::memchr(text + start, '\n', size - start);
    size_t end = feed != nullptr ? static_cast<size_t>(static_cast<const char*>(feed) - text) : size;
    const size_t next = feed != nullptr ? end + 1 : size;
    if (end > start && text[end - 1] == '\r') --end;
    for (size_t piece = start; piece < end || piece == start; piece += kLineLimit) {
      const size_t length = std::min(kLineLimit, end - piece);
      lines.emplace_back(text + piece, strnlen(text + piece, length));
      if (piece + kLineLimit >= end) break;
    }
    start = next;
  }
  return lines;
}

// A count the scene gives, limited by the entries the text could hold.
size_t SceneCount(const IniSection* section, size_t limit) {
  if (section == nullptr) return 0;
  const std::string* value = FindIniValue(*section, "count");
  if (value == nullptr) return 0;
  const long long count = std::strtoll(value->c_str(), nullptr, 10);
  if (count <= 0) return 0;
  return static_cast<size_t>(count) < limit ? static_cast<size_t>(count) : limit;
}

int32_t SceneTextureNumber(const IniSection& section, const std::string& key) {
  const std::string* value = FindIniValue(section, key);
  if (value == nullptr) return 0;
  const long long n = std::strtoll(value->c_str(), nullptr, 10);
  if (n > INT32_MAX) return INT32_MAX - 1;
  if (n < INT32_MIN) return INT32_MIN;
  return n > 0 ? static_cast<int32_t>(n - 1) : static_cast<int32_t>(n);
}

MeshSlot* SlotForCommand(Number id) {
  LastErrorCode = kErrorNone;
  if (TheEngine3D() == nullptr) return nullptr;
  MeshSlot* slot = MeshSlotAt(TruncToInt32(id));
  if (slot == nullptr) SetLastError(kErrorOutOfMemory);
  return slot;
}

}  // namespace

bool ParseMeshScene(const char* text, size_t size, MeshScene* scene) {
  scene->textures.clear();
  scene->objects.clear();
  if (size < 4 || std::memcmp(text, kSceneTag, 4) != 0) return false;
  std::vector<IniSection> sections;
  ParseIniLines(SplitLines(text, size), &sections);
  // Entries beyond the keys the text holds would all be empty: a count is
  // never taken above the number of keys in the file.
  size_t keys = 0;
  for (const IniSection& section : sections) keys += section.keys.size();
  if (const IniSection* textures = FindIniSection(sections, "textures")) {
    const size_t count = SceneCount(textures, keys);
    for (size_t i = 1; i <= count; ++i) {
      const std::string* name = FindIniValue(*textures, std::to_string(i));
      scene->textures.push_back(name != nullptr ? *name : std::string());
    }
  }
  if (const IniSection* objects = FindIniSection(sections, "objects")) {
    const size_t count = SceneCount(objects, keys);
    for (size_t i = 1; i <= count; ++i) {
      const std::string key = std::to_string(i);
      MeshSceneObject object;
      if (const std::string* name = FindIniValue(*objects, key)) object.file = *name;
      object.texture1 = SceneTextureNumber(*objects, key + "ta");
      object.texture2 = SceneTextureNumber(*objects, key + "tb");
      scene->objects.push_back(std::move(object));
    }
  }
  return true;
}

namespace {

// Empties a slot as ReleaseSlot does, except that the first mesh stays,
// emptied but with its memory, for the object loaded next.
void ReleaseSlotKeepingFirstMesh(MeshSlot& slot) {
  if (slot.meshes.count() == 0) {
    ReleaseSlot(slot);
    return;
  }
  for (int32_t i = 1; i < slot.meshes.count(); ++i) ReleaseMesh(slot.meshes[i], true);
  slot.meshes.Truncate(1);
  MeshObjectX& kept = slot.meshes[0];
  ReleaseMesh(kept, false);
  // Everything else as a new mesh has it.
  kept.normalsDone = 0;
  kept.tangentsDone = 0;
  kept.hasColours = 0;
  kept.celRowScale = 0.0f;
  kept.texture1Index = -1;
  kept.texture2Index = -1;
  if (slot.textures.count() > 0) glDeleteTextures(slot.textures.count(), slot.textures.data());
  slot.textures.Free();
  slot.valid = 0;
  slot.multiPart = 0;
}

}  // namespace

void LoadMesh(const char* file, Number id) {
  MeshSlot* slot = SlotForCommand(id);
  if (slot == nullptr) return;
  // An object loaded again into its slot reuses the memory of the one before
  // (a large object's lists take longer to be given fresh than to fill).
  ReleaseSlotKeepingFirstMesh(*slot);
  const std::string name = file != nullptr ? file : "";
  FileBytes bytes;
  const OpenResult opened = OpenFileBytes(name.c_str(), &bytes);
  if (opened == OpenResult::kOpened && bytes.size >= 4 && std::memcmp(bytes.data, kSceneTag, 4) == 0) {
    ReleaseSlot(*slot);
    LoadScene(*slot, name, bytes.data, bytes.size);
    return;
  }
  MeshObjectX* mesh = slot->meshes.count() > 0 ? &slot->meshes[0] : slot->meshes.AppendNew();
  if (mesh == nullptr) {
    LogReadFailure(MeshReadResult::kMallocError, name.c_str());
    SetLastError(kErrorOutOfMemory);
    return;
  }
  MeshReadResult outcome = MeshReadResult::kReadError;
  if (LoadMeshBytes(*mesh, name.c_str(), opened, bytes, &outcome) && mesh->frames.count() > 0 &&
      mesh->frames[0].strips.count() > 0) {
    slot->valid = 1;
    slot->multiPart = 0;
    mesh->BuildTriangles();
    ComputeFrameBounds(*mesh, true);
    return;
  }
  ReleaseSlot(*slot);
  // A file that declares more than an object can keep is out of memory.
  SetLastError(outcome == MeshReadResult::kMallocError ? kErrorOutOfMemory : kErrorNoSuchFile);
}

void LoadMesh(const BasicString& file, Number id) { LoadMesh(file.c_str(), id); }

int32_t SaveMesh(const char* file, Number id) {
  MeshSlot* slot = SlotForCommand(id);
  if (slot == nullptr || slot->meshes.count() == 0) return 1;
  const std::string bytes = EncodeMeshBinary(slot->meshes[0]);
  if (!WriteWholeFileReplacing(file, bytes.data(), bytes.size())) SetLastError(kErrorNoSuchFile);
  return 1;
}

int32_t SaveMesh(const BasicString& file, Number id) { return SaveMesh(file.c_str(), id); }
