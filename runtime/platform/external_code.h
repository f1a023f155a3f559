// Code outside the program: shared libraries opened by name and other
// programs started as child processes (implemented in posix_process.cpp).
#pragma once

#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- shared libraries

struct Library;  // a loaded shared library
// Loads a library the way the dynamic loader finds it (a name without "/"
// is searched for, one with "/" is taken as a path), binding every symbol
// at once. Null when it cannot be loaded.
Library* OpenLibrary(const char* name);
// The address of an exported symbol, null when there is none.
void* LibraryEntry(Library* library, const char* entry);
// Gives back one load; the library goes away with its last one.
void CloseLibrary(Library* library);

// ---------------------------------------------------------------- programs

// Starts args[0] with the arguments args[1...] as they are: no shell sees
// them. args[0] is looked up in PATH (a name with "/" is taken as a path).
// The child gets this process's standard streams and environment and none
// of its other open files. With wait, blocks until the child ends and
// stores its exit status: the low 8 bits of the code it exited with (the
// system keeps no more), or 128 + the signal number when a signal ended
// it. Without wait, returns once the program runs; the child is never
// waited for and leaves no zombie behind. False when the program cannot be
// found or started; failure (when given) then says why: "not found in PATH",
// "no such file", "a folder", "not executable", or the system's text for
// the error of the start itself.
bool StartProgram(const std::vector<std::string>& args, bool wait, int* exitCode, std::string* failure = nullptr);

}  // namespace platform
