// Child processes of the command: the compiler, the linker, tar and dpkg-deb.
// Arguments go to the program as they are (no shell between).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora {

// Starts argv[0] (searched on PATH when it holds no '/') in folder cwd ("" the
// current one), its standard output and error going to outputFile ("" keeps
// ours). -1 when it could not be started.
pid_t StartProcess(const std::vector<std::string>& argv, const std::string& cwd, const std::string& outputFile);

// Waits for the child: its exit status, 128 + the signal that ended it, or
// 127 when it could not be started (pid -1).
int WaitProcess(pid_t pid);

// Runs the program to its end and returns WaitProcess's status; its output,
// standard error with it, is put in *output when output is not null.
int RunProcess(const std::vector<std::string>& argv, const std::string& cwd, std::string* output);

// The full path of a program found on PATH, "" when there is none.
std::string FindOnPath(const std::string& name);

// The path of the running executable.
std::string SelfPath();

}  // namespace velmora
