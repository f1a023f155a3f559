// External code's side for translated code, start-up and tests: the
// functions of shared libraries that the program declares, resolved when the
// runtime starts, and RunProgram's window hooks and command-line splitter.
//
// Generated code registers every declaration before start-up:
//   static int32_t (*MessageBeep)(int32_t);
//   RegisterDeclare("user32.dll", "MessageBeep", &MessageBeep);
// StartRuntime resolves them all (LoadDeclaredFunctions); a declaration whose
// library or entry is missing leaves its variable null and is reported to the
// run log ("DECLARE module not found: ...", "DECLARE entry not found: ...")
// and, with a debugger attached, as debug text. A Windows library name
// "name.dll" that does not load is tried again as "libname.so".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------- declared functions

// Sets the function-pointer variable at slot to null and appends the
// declaration to the table. slot is the address of the variable (any
// pointer-to-function variable; it is written as one machine pointer).
void RegisterDeclare(const char* module, const char* entry, void* slot);
// Writes "Delay load DLLs" to the run log, then resolves every declaration in
// the order registered. StartRuntime calls it once the input is set up.
void LoadDeclaredFunctions();
// Loads the library if no library of that name (letter case aside) is loaded
// yet, then stores the entry point in the variable at slot (null when there
// is none) and reports a missing library or entry.
void ResolveDeclare(const char* module, const char* entry, void* slot);
// Gives back every loaded library in the order loaded and empties the table;
// runs at the end of the program. Resolved variables are left as they are.
void UnloadDeclaredModules();
// Libraries loaded and declarations registered so far.
size_t DeclaredModuleCount();
// Declarations registered so far.
size_t DeclarationCount();

// ---------------------------------------------------------------- RunProgram's plumbing

// What RunProgram does to the window before and after starting a program
// (leave full screen; raise and focus it). The host installs them; either may
// be null.
void SetRunProgramHooks(void (*beforeStart)(), void (*afterStart)());

// Splits a command line into arguments by the rules of the Windows C runtime:
// - The program name (first argument) runs to the first blank or tab outside
//   double quotes; quotes only group, backslashes are plain characters.
//   Blanks before it are skipped.
// - Other arguments are separated by blanks and tabs outside double quotes.
//   2n backslashes before a quote give n backslashes and the quote opens or
//   closes a quoted part; 2n + 1 backslashes before a quote give n
//   backslashes and a literal quote; backslashes before anything else are
//   literal. Inside quotes, "" gives one literal quote and the quoted part
//   goes on.
// No other character is special: single quotes, $, ;, | and the like reach
// the program as they are.
std::vector<std::string> CommandLineArguments(std::string_view command);
