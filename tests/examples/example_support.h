// Shared by the examples' end-to-end tests: running an example program
// headless with its own temporary folder, and reading its screenshot.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/screenshot.h"

namespace example_test {

using testing_support::Image;
using testing_support::Near;
using testing_support::Rgb;

// The built example program <name>.
inline std::string ProgramPath(const std::string& name) {
  return std::string(VELMORA_BINARY_DIR) + "/examples/" + name + "/" + name;
}

// One headless run of build/examples/<name>/<name> in its own folder (the
// program makes its executable's folder current), with a temporary folder of
// its own for the run log and whatever the program writes there.
class ExampleRun {
 public:
  explicit ExampleRun(const std::string& name) : name_(name) {}

  // Runs with the words, then --frames and --screenshot; extra "NAME=value"
  // environment entries go with the offscreen video driver.
  testing_support::ChildResult Run(const std::vector<std::string>& words, int frames,
                                   const std::vector<std::string>& env = {}) const {
    std::vector<std::string> args = words;
    args.insert(args.end(), {"--frames", std::to_string(frames), "--screenshot", Shot()});
    std::vector<std::string> environment = {"SDL_VIDEODRIVER=offscreen", "DISPLAY="};
    environment.insert(environment.end(), env.begin(), env.end());
    return testing_support::RunProgram(Program(), args, dir_.path(), environment, "", 180);
  }
  std::string Program() const { return ProgramPath(name_); }
  std::string Shot() const { return dir_.File("shot.png"); }
  std::string Temp(const std::string& file) const { return dir_.File(file); }

 private:
  std::string name_;
  testing_support::TempDir dir_;
};

// The error code the END report at the end of the run log gives ("" when
// there is no report).
inline std::string EndErrorCode(const std::string& runLog) {
  const std::vector<std::string> lines = testing_support::Lines(runLog);
  for (size_t k = 0; k + 1 < lines.size(); ++k)
    if (lines[k] == "-End On Line") return lines[k + 1];
  return "";
}

// Run-log lines that report a failure ("... failed", "can't ...", errors,
// names not found), and an END report with a code other than 0.
inline std::vector<std::string> ErrorLines(const std::string& runLog) {
  std::vector<std::string> found;
  const std::vector<std::string> lines = testing_support::Lines(runLog);
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.find("fail") != std::string::npos || line.find("can't") != std::string::npos ||
        line.find("rror") != std::string::npos || line.find("not found") != std::string::npos)
      found.push_back(line);
    if (line == "-End On Line" && k + 1 < lines.size() && lines[k + 1] != "0") found.push_back(line + " " + lines[k + 1]);
  }
  return found;
}

}  // namespace example_test
