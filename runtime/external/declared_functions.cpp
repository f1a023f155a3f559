// The table of declared library functions: registration before start-up,
// resolution at start-up (delay loading) and release at the end.
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "external/declared.h"
#include "platform/external_code.h"

namespace {

struct Declaration {
  std::string module;
  std::string entry;
  void* slot;
};

struct LoadedModule {
  platform::Library* library;
  std::string lowerName;  // the name it was declared by, lower-cased
};

struct DeclaredTable {
  std::vector<Declaration> declarations;
  std::vector<LoadedModule> modules;
};

// Registration runs during static initialisation, so the table is made on
// first use rather than being a static object of its own.
DeclaredTable& Table() {
  static DeclaredTable* table = new DeclaredTable;
  return *table;
}

std::string LowerCase(const char* text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

void StoreEntry(void* slot, void* entry) {
  // The variable is a pointer to a function; it is written as the machine
  // pointer it is, without reading it as a void*.
  static_assert(sizeof(void (*)()) == sizeof(void*));
  if (slot != nullptr) std::memcpy(slot, &entry, sizeof entry);
}

// The message goes to an attached debugger as debug text and to the run log
// with one more line ending after its own.
void Report(const char* prefix, const char* name) {
  const std::string message = std::string(prefix) + name + "\n";
  DebugOutput(message.c_str());
  WriteLogF("%s\n", message.c_str());
}

// "name.dll" (any letter case) as the shared library a POSIX system would
// name "libname.so", folder kept; empty for other names.
std::string PosixLibraryName(const std::string& name) {
  if (name.size() <= 4) return {};
  const std::string extension = LowerCase(name.c_str() + name.size() - 4);
  if (extension != ".dll") return {};
  const size_t slash = name.find_last_of('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (base >= name.size() - 4) return {};
  return name.substr(0, base) + "lib" + name.substr(base, name.size() - 4 - base) + ".so";
}

platform::Library* LoadModule(const char* module) {
  // Windows separators become "/" just before the system sees the name.
  std::string name = module;
  for (char& c : name)
    if (c == '\\') c = '/';
  platform::Library* library = platform::OpenLibrary(name.c_str());
  if (library != nullptr) return library;
  const std::string posixName = PosixLibraryName(name);
  return posixName.empty() ? nullptr : platform::OpenLibrary(posixName.c_str());
}

}  // namespace

void RegisterDeclare(const char* module, const char* entry, void* slot) {
  StoreEntry(slot, nullptr);
  Table().declarations.push_back({module != nullptr ? module : "", entry != nullptr ? entry : "", slot});
}

void LoadDeclaredFunctions() {
  WriteLog("Delay load DLLs\n");
  // Resolving never registers more, but an index keeps the walk safe anyway.
  std::vector<Declaration>& declarations = Table().declarations;
  for (size_t i = 0; i < declarations.size(); ++i) {
    const Declaration declaration = declarations[i];
    ResolveDeclare(declaration.module.c_str(), declaration.entry.c_str(), declaration.slot);
  }
}

void ResolveDeclare(const char* module, const char* entry, void* slot) {
  if (module == nullptr) module = "";
  if (entry == nullptr) entry = "";
  DeclaredTable& table = Table();
  const std::string lowerName = LowerCase(module);
  platform::Library* library = nullptr;
  for (const LoadedModule& loaded : table.modules) {
    if (loaded.lowerName == lowerName) {
      library = loaded.library;
      break;
    }
  }
  if (library == nullptr) {
    library = LoadModule(module);
    if (library == nullptr) {
      Report("DECLARE module not found: ", module);
      return;
    }
    table.modules.push_back({library, lowerName});
  }
  void* address = platform::LibraryEntry(library, entry);
  if (address == nullptr) {
    Report("DECLARE entry not found: ", entry);
    return;
  }
  StoreEntry(slot, address);
}

void UnloadDeclaredModules() {
  DeclaredTable& table = Table();
  table.declarations.clear();
  table.declarations.shrink_to_fit();
  for (const LoadedModule& loaded : table.modules) platform::CloseLibrary(loaded.library);
  table.modules.clear();
  table.modules.shrink_to_fit();
}

size_t DeclaredModuleCount() { return Table().modules.size(); }
size_t DeclarationCount() { return Table().declarations.size(); }
