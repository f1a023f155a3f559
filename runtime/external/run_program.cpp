// RunProgram: another program started from the command line the application
// gives, optionally waited for.
#include <cmath>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "external/declared.h"
#include "external/external.h"
#include "platform/external_code.h"
#include "platform/platform.h"

namespace {

void (*g_beforeStart)() = nullptr;
void (*g_afterStart)() = nullptr;

// Windows programs are named with ".exe"; here the same program has no
// extension. The name is kept when it is found as written.
std::string ProgramPath(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  if (!platform::FindExecutableInPath(name.c_str()).empty() || name.size() <= 4) return name;
  std::string extension = name.substr(name.size() - 4);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (extension == ".exe") name.resize(name.size() - 4);
  return name;
}

// NaN is not zero, so it counts as set.
bool FlagSet(double value) { return value != 0.0 || std::isnan(value); }

}  // namespace

void SetRunProgramHooks(void (*beforeStart)(), void (*afterStart)()) {
  g_beforeStart = beforeStart;
  g_afterStart = afterStart;
}

int32_t RunProgram(const BasicString& command, double wait, double show, double& exitCode) {
  (void)show;
  exitCode = 0;
  ClearLastError();
  if (g_beforeStart != nullptr) g_beforeStart();
  std::vector<std::string> args = CommandLineArguments(command.c_str());  // the text ends at a NUL, as for the system
  bool started = false;
  if (args.empty() || args[0].empty()) {
    WriteLog("RunProgram: empty command\n");
  } else {
    args[0] = ProgramPath(args[0]);
    int code = 0;
    std::string failure;
    started = platform::StartProgram(args, FlagSet(wait), &code, &failure);
    if (started) exitCode = code;
    else WriteLogF("RunProgram: cannot start \"%s\": %s\n", args[0].c_str(), failure.c_str());
  }
  // A program that cannot be started is a file that is not there to run.
  if (!started) SetLastError(kErrorNoSuchFile);
  if (g_afterStart != nullptr) g_afterStart();
  return started ? 1 : 0;
}
