// The traced program: started or attached to with ptrace (PTRACE_SEIZE), a
// breakpoint on the first instruction of its message function, its messages
// as they arrive, its memory, and its end. Only the program's main thread is
// traced: every message comes from it.
//
// At a message the program is resumed at the function's return address
// rather than by stepping over the displaced instruction: the function does
// nothing, so the return is all there is to run, and one ptrace round trip
// per stop is saved. The breakpoint byte thus stays in place for the whole
// session and is put back only when the adapter detaches.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "program_state.h"

namespace dap {

struct LaunchSpec {
  std::string program;
  std::vector<std::string> args;
  std::string cwd;                // empty: the adapter's own
  std::vector<std::string> env;   // the whole environment, "NAME=value"
};

class Tracer : public Memory {
 public:
  Tracer() = default;
  ~Tracer() override;
  Tracer(const Tracer&) = delete;
  Tracer& operator=(const Tracer&) = delete;

  // Starts the program traced from its first instruction, its standard output
  // and error on pipes (*outFd, *errFd: non-blocking, close-on-exec) and
  // standard input on /dev/null. It dies with the adapter (PR_SET_PDEATHSIG
  // and PTRACE_O_EXITKILL). Runs until the breakpoint is in place.
  bool Launch(const LaunchSpec& spec, int* outFd, int* errFd, std::string* error);
  // Traces a running program (not ending it when the adapter ends).
  bool Attach(pid_t pid, std::string* error);

  pid_t pid() const { return pid_; }
  bool alive() const { return pid_ > 0; }
  bool stopped() const { return stopped_; }
  bool launched() const { return launched_; }
  const std::string& executable() const { return executable_; }
  // Size of the program's debug state block from its symbol (0 when unknown).
  uint64_t stateBlockSize() const { return stateSize_; }
  uint64_t stateBlockAddress() const { return stateAddress_; }

  struct Event {
    enum Kind { None, Message, Exited, Killed } kind = None;
    std::string text;  // Message: the text (NUL-terminated in the program)
    int code = 0;      // Exited: exit status; Killed: the signal
  };
  // What the program did since the last call, without waiting: a message
  // (the program then waits at it until Resume), its end, or None while it
  // runs. Signals it receives are passed on to it here.
  Event Poll();
  // Lets the program go on from a message.
  bool Resume();
  // Leaves the program running untraced with its breakpoint removed (it is
  // stopped first if needed).
  bool Detach(std::string* error);
  // Ends the program (SIGKILL) and waits for it.
  void Kill();

  bool Read(uint64_t address, void* buffer, size_t n) override;
  bool Write(uint64_t address, const void* buffer, size_t n) override;

 private:
  bool Seized(std::string* error);  // finds the symbols and plants the breakpoint
  bool PlantBreakpoint(std::string* error);
  bool AtBreakpoint(Event* event);  // a SIGTRAP stop: is it ours? then read the text and return
  void Forget();

  pid_t pid_ = -1;
  bool stopped_ = false;
  bool launched_ = false;
  bool planted_ = false;
  int memFd_ = -1;
  std::string executable_;
  uint64_t breakAddress_ = 0;
  uint64_t originalWord_ = 0;
  uint64_t stateAddress_ = 0;
  uint64_t stateSize_ = 0;
};

// The signal's name (SIGSEGV) or its number.
std::string SignalName(int signal);

}  // namespace dap
