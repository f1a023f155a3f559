// Tracing the program with ptrace: start or attach, the message breakpoint, memory, the end (see tracer.h).
#include "tracer.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "elf_symbols.h"

namespace dap {

namespace {

#if defined(__x86_64__)
constexpr uint16_t kOwnMachine = elf::kMachineX86_64;
#elif defined(__aarch64__)
constexpr uint16_t kOwnMachine = elf::kMachineAArch64;
#else
#error "vlmdap knows the breakpoint and the calling convention of x86-64 and AArch64 only"
#endif

std::string Errno(const char* what) { return std::string(what) + ": " + strerror(errno); }

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return true;
}

// AT_ENTRY from the process's auxiliary vector: where its entry point was loaded.
bool LoadedEntry(pid_t pid, uint64_t* entry) {
  std::string auxv;
  if (!ReadWholeFile("/proc/" + std::to_string(pid) + "/auxv", &auxv)) return false;
  for (size_t at = 0; at + 16 <= auxv.size(); at += 16) {
    uint64_t type = 0, value = 0;
    memcpy(&type, auxv.data() + at, 8);
    memcpy(&value, auxv.data() + at + 8, 8);
    if (type == AT_ENTRY) {
      *entry = value;
      return true;
    }
    if (type == AT_NULL) break;
  }
  return false;
}

// Waits for any change of the traced process; -1 when it cannot be waited for.
pid_t WaitFor(pid_t pid, int* status) {
  for (;;) {
    const pid_t r = waitpid(pid, status, __WALL);
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace

std::string SignalName(int signal) {
  const char* abbrev = sigabbrev_np(signal);
  return abbrev != nullptr ? std::string("SIG") + abbrev : "signal " + std::to_string(signal);
}

Tracer::~Tracer() {
  if (!alive()) return;
  if (launched_) {
    Kill();
  } else {
    std::string ignored;
    Detach(&ignored);
  }
}

bool Tracer::Launch(const LaunchSpec& spec, int* outFd, int* errFd, std::string* error) {
  int sync[2], fail[2], out[2], err[2];
  if (pipe2(sync, O_CLOEXEC) != 0) return *error = Errno("pipe"), false;
  if (pipe2(fail, O_CLOEXEC) != 0) {
    close(sync[0]), close(sync[1]);
    return *error = Errno("pipe"), false;
  }
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    *error = Errno("pipe");
    for (int fd : {sync[0], sync[1], fail[0], fail[1]}) close(fd);
    return false;
  }
  const int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  // Everything the child needs is made before the fork: after it, only
  // async-signal-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(spec.program.c_str()));
  for (const std::string& a : spec.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : spec.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid < 0) {
    *error = Errno("fork");
    for (int fd : {sync[0], sync[1], fail[0], fail[1], out[0], out[1], err[0], err[1], devnull}) close(fd);
    return false;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);  // the terminal's signals are for the adapter, not the program
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    int problem[2] = {0, 0};
    if (!spec.cwd.empty() && chdir(spec.cwd.c_str()) != 0) {
      problem[0] = 1, problem[1] = errno;
      (void)!write(fail[1], problem, sizeof problem);
      _exit(127);
    }
    // Held here until the adapter traces this process.
    char go = 0;
    if (read(sync[0], &go, 1) != 1) _exit(127);
    execve(spec.program.c_str(), argv.data(), envp.data());
    problem[0] = 2, problem[1] = errno;
    (void)!write(fail[1], problem, sizeof problem);
    _exit(127);
  }
  for (int fd : {sync[0], fail[1], out[1], err[1], devnull}) close(fd);
  auto giveUp = [&](const std::string& why) {
    kill(pid, SIGKILL);
    int status = 0;
    WaitFor(pid, &status);
    for (int fd : {sync[1], fail[0], out[0], err[0]})
      if (fd >= 0) close(fd);
    *error = why;
    return false;
  };
  // The child's own report, once it has exec'd (nothing) or given up (what failed).
  const auto childProblem = [&](int problem[2]) {
    ssize_t n;
    do {
      n = read(fail[0], problem, 2 * sizeof(int));
    } while (n < 0 && errno == EINTR);
    return n > 0;
  };
  int problem[2] = {0, 0};
  const auto childFailure = [&] {
    errno = problem[1];
    return Errno(problem[0] == 1 ? ("cannot change to " + spec.cwd).c_str() : ("cannot start " + spec.program).c_str());
  };
  if (ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC) != 0) {
    // A child that could not change folder may have ended already, which
    // is why it cannot be traced: its report says so.
    const std::string why = Errno("cannot trace the program (ptrace)");
    close(sync[1]);
    sync[1] = -1;
    return giveUp(childProblem(problem) ? childFailure() : why);
  }
  pid_ = pid;
  launched_ = true;
  (void)!write(sync[1], "g", 1);
  close(sync[1]);
  sync[1] = -1;
  if (childProblem(problem)) {
    Forget();
    return giveUp(childFailure());
  }
  close(fail[0]);
  fail[0] = -1;
  for (;;) {
    int status = 0;
    if (WaitFor(pid, &status) < 0 || !WIFSTOPPED(status)) {
      Forget();
      for (int fd : {out[0], err[0]}) close(fd);
      *error = "the program ended before it started";
      return false;
    }
    if ((status >> 8) == (SIGTRAP | (PTRACE_EVENT_EXEC << 8))) break;
    ptrace(PTRACE_CONT, pid, nullptr, WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status));
  }
  stopped_ = true;
  if (!Seized(error)) {
    Kill();
    for (int fd : {out[0], err[0]}) close(fd);
    return false;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  *outFd = out[0];
  *errFd = err[0];
  return Resume();
}

bool Tracer::Attach(pid_t pid, std::string* error) {
  if (pid <= 0) return *error = "no process id", false;
  if (ptrace(PTRACE_SEIZE, pid, nullptr, 0) != 0) {
    *error = Errno(("cannot trace process " + std::to_string(pid)).c_str());
    if (errno == EPERM) *error += " (another debugger, or the system's ptrace policy, keeps it)";
    return false;
  }
  pid_ = pid;
  launched_ = false;
  if (ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0) {
    *error = Errno("cannot stop the process");
    ptrace(PTRACE_DETACH, pid, nullptr, 0);
    Forget();
    return false;
  }
  int pending = 0;  // a signal that arrived meanwhile, passed on when the program goes on
  for (;;) {
    int status = 0;
    if (WaitFor(pid, &status) < 0 || !WIFSTOPPED(status)) {
      Forget();
      *error = "the process ended while being attached to";
      return false;
    }
    if ((status >> 16) == PTRACE_EVENT_STOP) break;
    pending = WSTOPSIG(status);
    break;
  }
  stopped_ = true;
  if (!Seized(error)) {
    ptrace(PTRACE_DETACH, pid, nullptr, pending);
    Forget();
    return false;
  }
  stopped_ = false;
  return ptrace(PTRACE_CONT, pid_, nullptr, pending) == 0;
}

bool Tracer::Seized(std::string* error) {
  const std::string proc = "/proc/" + std::to_string(pid_);
  char link[4096];
  const ssize_t n = readlink((proc + "/exe").c_str(), link, sizeof link - 1);
  executable_ = n > 0 ? std::string(link, n) : std::string();
  std::string bytes;
  if (!ReadWholeFile(proc + "/exe", &bytes)) return *error = "cannot read the program's file", false;
  elf::Image image;
  std::string why;
  if (!elf::ReadImage(bytes, {"VelmoraDebuggerMessage", "TheDebugState"}, &image, &why)) {
    *error = executable_ + ": " + why;
    return false;
  }
  if (image.machine != kOwnMachine) return *error = executable_ + " is built for another processor", false;
  const auto message = image.symbols.find("VelmoraDebuggerMessage");
  if (message == image.symbols.end()) {
    *error = executable_ + " is not a Velmora program (it has no VelmoraDebuggerMessage)";
    return false;
  }
  uint64_t bias = 0;
  if (image.positionIndependent) {
    uint64_t entry = 0;
    if (!LoadedEntry(pid_, &entry)) return *error = "cannot find where the program was loaded", false;
    bias = entry - image.entry;
  }
  breakAddress_ = bias + message->second.value;
  const auto state = image.symbols.find("TheDebugState");
  if (state != image.symbols.end()) {
    stateAddress_ = bias + state->second.value;
    stateSize_ = state->second.size;
  }
  memFd_ = open((proc + "/mem").c_str(), O_RDWR | O_CLOEXEC);
  return PlantBreakpoint(error);
}

bool Tracer::PlantBreakpoint(std::string* error) {
  errno = 0;
  const long word = ptrace(PTRACE_PEEKTEXT, pid_, reinterpret_cast<void*>(breakAddress_), nullptr);
  if (errno != 0) return *error = Errno("cannot read the message function"), false;
  originalWord_ = static_cast<uint64_t>(word);
#if defined(__x86_64__)
  const uint64_t patched = (originalWord_ & ~uint64_t{0xFF}) | 0xCC;  // int3
#else
  const uint64_t patched = (originalWord_ & ~uint64_t{0xFFFFFFFF}) | 0xD4200000;  // brk #0
#endif
  if (ptrace(PTRACE_POKETEXT, pid_, reinterpret_cast<void*>(breakAddress_), reinterpret_cast<void*>(patched)) != 0)
    return *error = Errno("cannot set the breakpoint"), false;
  planted_ = true;
  return true;
}

bool Tracer::AtBreakpoint(Event* event) {
#if defined(__x86_64__)
  user_regs_struct regs{};
  if (ptrace(PTRACE_GETREGS, pid_, nullptr, &regs) != 0) return false;
  if (regs.rip - 1 != breakAddress_) return false;
  const uint64_t text = regs.rdi;
  uint64_t returnAddress = 0;
  if (!Get(regs.rsp, &returnAddress)) return false;
  regs.rip = returnAddress;
  regs.rsp += 8;
  if (ptrace(PTRACE_SETREGS, pid_, nullptr, &regs) != 0) return false;
#else
  user_pt_regs regs{};
  iovec io{&regs, sizeof regs};
  if (ptrace(PTRACE_GETREGSET, pid_, reinterpret_cast<void*>(NT_PRSTATUS), &io) != 0) return false;
  if (regs.pc != breakAddress_) return false;
  const uint64_t text = regs.regs[0];
  regs.pc = regs.regs[30];
  if (ptrace(PTRACE_SETREGSET, pid_, reinterpret_cast<void*>(NT_PRSTATUS), &io) != 0) return false;
#endif
  event->kind = Event::Message;
  if (!ReadCString(text, 1u << 20, &event->text)) event->text.clear();
  return true;
}

Tracer::Event Tracer::Poll() {
  Event event;
  while (alive()) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG | __WALL);
    if (r == 0) return event;
    if (r < 0) {
      if (errno == EINTR) continue;
      Forget();  // nothing left to wait for
      event.kind = Event::Killed;
      event.code = 0;
      return event;
    }
    if (WIFEXITED(status)) {
      Forget();
      event.kind = Event::Exited;
      event.code = WEXITSTATUS(status);
      return event;
    }
    if (WIFSIGNALED(status)) {
      Forget();
      event.kind = Event::Killed;
      event.code = WTERMSIG(status);
      return event;
    }
    if (!WIFSTOPPED(status)) continue;
    stopped_ = true;
    const int signal = WSTOPSIG(status);
    int pass = 0;
    if ((status >> 16) == 0) {
      if (signal == SIGTRAP && AtBreakpoint(&event)) return event;
      pass = signal;  // a signal for the program: delivered as if untraced
    }
    // Group stops (SIGSTOP and the like) and other ptrace events: the program goes on.
    ptrace(PTRACE_CONT, pid_, nullptr, pass);
    stopped_ = false;
  }
  return event;
}

bool Tracer::Resume() {
  if (!alive() || !stopped_) return false;
  // Whether or not it worked, what happens next is for Poll to find out
  // (a program killed while stopped cannot be continued, but can be waited for).
  stopped_ = false;
  return ptrace(PTRACE_CONT, pid_, nullptr, 0) == 0;
}

bool Tracer::Detach(std::string* error) {
  if (!alive()) return true;
  int pending = 0;
  if (!stopped_) {
    if (ptrace(PTRACE_INTERRUPT, pid_, nullptr, nullptr) != 0) {
      *error = Errno("cannot stop the program to detach");
      return false;
    }
    for (;;) {
      int status = 0;
      if (WaitFor(pid_, &status) < 0 || !WIFSTOPPED(status)) {
        Forget();
        return true;  // it ended meanwhile
      }
      if ((status >> 16) == PTRACE_EVENT_STOP) break;
      Event ignored;
      if (WSTOPSIG(status) == SIGTRAP && (status >> 16) == 0 && AtBreakpoint(&ignored)) continue;
      // A signal for the program: handed to it with the detach. The interrupt
      // is still to come.
      pending = WSTOPSIG(status);
      ptrace(PTRACE_CONT, pid_, nullptr, 0);
    }
    stopped_ = true;
  }
  if (planted_) {
    ptrace(PTRACE_POKETEXT, pid_, reinterpret_cast<void*>(breakAddress_), reinterpret_cast<void*>(originalWord_));
    planted_ = false;
  }
  const bool ok = ptrace(PTRACE_DETACH, pid_, nullptr, pending) == 0;
  if (!ok) *error = Errno("detach");
  Forget();
  return ok;
}

void Tracer::Kill() {
  if (!alive()) return;
  kill(pid_, SIGKILL);
  for (;;) {
    int status = 0;
    if (WaitFor(pid_, &status) < 0 || WIFEXITED(status) || WIFSIGNALED(status)) break;
  }
  Forget();
}

bool Tracer::Read(uint64_t address, void* buffer, size_t n) {
  if (!alive()) return false;
  if (n == 0) return true;
  iovec local{buffer, n};
  iovec remote{reinterpret_cast<void*>(address), n};
  if (process_vm_readv(pid_, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(n)) return true;
  return memFd_ >= 0 && pread(memFd_, buffer, n, static_cast<off_t>(address)) == static_cast<ssize_t>(n);
}

bool Tracer::Write(uint64_t address, const void* buffer, size_t n) {
  if (!alive()) return false;
  if (n == 0) return true;
  iovec local{const_cast<void*>(buffer), n};
  iovec remote{reinterpret_cast<void*>(address), n};
  if (process_vm_writev(pid_, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(n)) return true;
  return memFd_ >= 0 && pwrite(memFd_, buffer, n, static_cast<off_t>(address)) == static_cast<ssize_t>(n);
}

void Tracer::Forget() {
  if (memFd_ >= 0) close(memFd_);
  memFd_ = -1;
  pid_ = -1;
  stopped_ = false;
  planted_ = false;
}

}  // namespace dap
