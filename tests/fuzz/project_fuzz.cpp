// Feeds arbitrary bytes to the velmora command as a project's velmora.json,
// in a folder that holds two modules, a data folder and a file outside it. A
// project that is accepted names only modules that exist inside the folder,
// each once, module 0 first, and settings the translator knows.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "project.h"
#include "vlmc.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_project: %s\n", what);
    std::abort();
  }
}

const std::string& Folder() {
  static const std::string dir = [] {
    const fs::path root = fs::temp_directory_path() / ("velmora-project-fuzz-" + std::to_string(getpid()));
    fs::create_directories(root / "proj" / "media");
    fs::create_directories(root / "proj" / "lib");
    std::ofstream(root / "proj" / "main.bas") << "PRINT 1\n";
    std::ofstream(root / "proj" / "lib" / "more.bas") << "SUB s\nEND SUB\n";
    std::ofstream(root / "outside.bas") << "PRINT 2\n";
    return (root / "proj").string();
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = Folder();
  {
    std::ofstream out(dir + "/velmora.json", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  velmora::Project project;
  std::string error;
  if (!velmora::ReadProject(dir, &project, &error)) {
    Check(error.rfind("velmora.json: ", 0) == 0, "a refusal does not name the file");
    Check(error.find('\n') == std::string::npos, "a refusal takes more than one line");
    return 0;
  }
  Check(!project.modules.empty(), "a project without modules was accepted");
  Check(velmora::IsProjectName(project.name), "a bad program name was accepted");
  std::set<std::string> seen;
  for (const std::string& m : project.modules) {
    Check(seen.insert(m).second, "a module was accepted twice");
    Check(m.rfind("..", 0) != 0 && m[0] != '/', "a module outside the folder was accepted");
    Check(fs::is_regular_file(dir + "/" + m), "a missing module was accepted");
  }
  if (!project.data.empty()) Check(fs::is_directory(dir + "/" + project.data), "a missing data folder was accepted");
  for (const vlmc::ProjectSetting& s : project.settings)
    Check(vlmc::SettingKind(s.key) == (s.isText ? 't' : 'n'), "a setting of the wrong kind was accepted");
  return 0;
}
