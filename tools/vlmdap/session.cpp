// The debug session's loop, the client's requests and the program's run control (see session.h).
#include "session.h"

#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace dap {

namespace {

constexpr int32_t kStepOver = 0;
constexpr int32_t kStepInto = 1;
constexpr int32_t kStepOut = -1;
constexpr int32_t kRun = 100;
// Any other command leaves the program's step depth as it is: a stop that
// the adapter passes over in the middle of a step goes on with that step.
constexpr int32_t kKeepStepping = 2;

constexpr int64_t kRetryMs = 100;       // live requests written again until a stop answers
constexpr int64_t kTerminateMs = 5000;  // an END that does not come in this time: killed

int64_t NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 1000);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string Absolute(const std::string& path, const std::string& base) {
  if (path.empty() || path[0] == '/') return path;
  std::string folder = base;
  if (folder.empty()) {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr) folder = cwd;
  }
  return folder + "/" + path;
}

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// ">= 3", "%2", "5" (at least the fifth hit)
bool ParseHitCondition(const std::string& text, std::string* op, int64_t* value) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  static const char* const kOps[] = {">=", "<=", "==", ">", "<", "=", "%"};
  op->clear();
  for (const char* candidate : kOps) {
    if (text.compare(pos, std::strlen(candidate), candidate) == 0) {
      *op = candidate;
      pos += std::strlen(candidate);
      break;
    }
  }
  if (*op == "==") *op = "=";
  if (op->empty()) *op = ">=";
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos >= text.size()) return false;
  int64_t v = 0;
  for (; pos < text.size() && text[pos] != ' '; ++pos) {
    if (text[pos] < '0' || text[pos] > '9' || v > 1000000000000) return false;
    v = v * 10 + (text[pos] - '0');
  }
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos != text.size() || (*op == "%" && v == 0)) return false;
  *value = v;
  return true;
}

const char* ErrorCodeText(int code) {
  switch (code) {
    case 0: return "no error";
    case 3: return "no such file";
    case 7: return "out of memory";
    case 9: return "out of bounds";
    case 20: return "out of data";
    case 21: return "assertion failed";
    default: return "unknown error";
  }
}

}  // namespace

Session::Session(int inFd, int outFd) : in_(inFd), out_(outFd) {}

Session::~Session() {
  if (signals_ >= 0) close(signals_);
  for (int fd : {programOut_, programErr_})
    if (fd >= 0) close(fd);
}

// ---------------------------------------------------------------- the loop

int Session::Run() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  signals_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);

  while (!quit_) {
    pollfd fds[4];
    int n = 0;
    fds[n++] = {in_, POLLIN, 0};
    fds[n++] = {signals_, POLLIN, 0};
    const int outAt = n;
    if (programOut_ >= 0) fds[n++] = {programOut_, POLLIN, 0};
    const int errAt = n;
    if (programErr_ >= 0) fds[n++] = {programErr_, POLLIN, 0};
    if (poll(fds, n, PollTimeout()) < 0 && errno != EINTR) break;

    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info;
      bool child = false;
      while (read(signals_, &info, sizeof info) == sizeof info) {
        if (info.ssi_signo == SIGCHLD) {
          child = true;
        } else {
          Leave(tracer_.launched());
          quit_ = true;
        }
      }
      if (child && !quit_) OnTracer();
    }
    if (quit_) break;
    if (programOut_ >= 0 && (fds[outAt].revents & (POLLIN | POLLHUP))) DrainOutput(&programOut_, "stdout");
    if (programErr_ >= 0 && (fds[errAt].revents & (POLLIN | POLLHUP))) DrainOutput(&programErr_, "stderr");
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) OnClientBytes();
    if (!quit_) Timers();
  }
  return exitCode_;
}

int Session::PollTimeout() const {
  int64_t next = -1;
  const int64_t now = NowMs();
  auto consider = [&](int64_t at) {
    if (at <= 0) return;
    const int64_t wait = at > now ? at - now : 0;
    if (next < 0 || wait < next) next = wait;
  };
  if (tracer_.alive() && !tracer_.stopped() && (pauseWanted_ || internalStopWanted_ || terminating_))
    consider(retryAtMs_);
  consider(killAtMs_);
  // An attached program's changes reach this loop as SIGCHLD too; a slow
  // look now and then covers a kernel that would not send it.
  if (tracer_.alive() && !tracer_.launched()) consider(now + 250);
  return static_cast<int>(next);
}

void Session::Timers() {
  const int64_t now = NowMs();
  if (tracer_.alive() && !tracer_.launched()) OnTracer();
  if (tracer_.alive() && !tracer_.stopped() && (pauseWanted_ || internalStopWanted_ || terminating_) &&
      now >= retryAtMs_) {
    // The program clears the break request at the end of every stop, which
    // may fall after a write made just as it was resumed: write again until
    // a stop comes.
    RequestLiveStop();
  }
  if (killAtMs_ > 0 && now >= killAtMs_) {
    killAtMs_ = 0;
    if (tracer_.alive()) {
      Output("console", "vlmdap: the program did not end within " + std::to_string(kTerminateMs / 1000) +
                            " s of the end request; it is killed\n");
      tracer_.Kill();
      OnProgramEnd(Tracer::Event{Tracer::Event::Killed, {}, SIGKILL});
    }
  }
}

void Session::OnClientBytes() {
  char buffer[65536];
  const ssize_t n = read(in_, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // The client is gone: nothing may be left traced or stopped behind it.
    Leave(tracer_.launched());
    quit_ = true;
    return;
  }
  reader_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
  for (;;) {
    std::string body, error;
    const FrameReader::Status status = reader_.Next(&body, &error);
    if (status == FrameReader::Status::NeedMore) break;
    if (status == FrameReader::Status::Error) {
      std::fprintf(stderr, "vlmdap: dropped a message with a bad header: %s\n", error.c_str());
      continue;
    }
    json::Value message;
    if (!json::Parse(body, &message, &error) || !message.IsObject()) {
      std::fprintf(stderr, "vlmdap: dropped a message that is not a JSON object: %s\n", error.c_str());
      Output("console", "vlmdap: dropped a message that is not a JSON object: " + error + "\n");
      continue;
    }
    if (message["type"].AsString() == "request") Dispatch(message);
    if (quit_) break;
  }
}

// ---------------------------------------------------------------- the client

void Session::Send(const json::Value& message) {
  json::Value m = message;
  m.Set("seq", seq_++);
  WriteAll(out_, FrameMessage(json::Write(m)));
}

void Session::Respond(const json::Value& request, json::Value body) {
  json::Value m = json::Value::MakeObject();
  m.Set("type", "response");
  m.Set("request_seq", request["seq"].AsInt());
  m.Set("success", true);
  m.Set("command", request["command"].AsString());
  if (!body.IsNull()) m.Set("body", std::move(body));
  Send(m);
}

void Session::Fail(const json::Value& request, const std::string& message) {
  json::Value m = json::Value::MakeObject();
  m.Set("type", "response");
  m.Set("request_seq", request["seq"].AsInt());
  m.Set("success", false);
  m.Set("command", request["command"].AsString());
  m.Set("message", message);
  json::Value error = json::Value::MakeObject();
  error.Set("id", 1);
  error.Set("format", message);
  error.Set("showUser", false);
  json::Value body = json::Value::MakeObject();
  body.Set("error", std::move(error));
  m.Set("body", std::move(body));
  Send(m);
}

void Session::SendEvent(const char* event, json::Value body) {
  json::Value m = json::Value::MakeObject();
  m.Set("type", "event");
  m.Set("event", event);
  if (!body.IsNull()) m.Set("body", std::move(body));
  Send(m);
}

void Session::Output(const char* category, const std::string& utf8) {
  json::Value body = json::Value::MakeObject();
  body.Set("category", category);
  body.Set("output", utf8);
  SendEvent("output", std::move(body));
}

void Session::Dispatch(const json::Value& r) {
  const std::string& command = r["command"].AsString();
  if (command == "initialize") return Initialize(r);
  if (command == "launch") return Launch(r);
  if (command == "attach") return Attach(r);
  if (command == "setBreakpoints") return SetBreakpoints(r);
  if (command == "setExceptionBreakpoints") return SetExceptionBreakpoints(r);
  if (command == "breakpointLocations") return BreakpointLocations(r);
  if (command == "configurationDone") return ConfigurationDone(r);
  if (command == "threads") return Threads(r);
  if (command == "stackTrace") return StackTrace(r);
  if (command == "scopes") return Scopes(r);
  if (command == "variables") return Variables(r);
  if (command == "setVariable") return SetVariable(r);
  if (command == "evaluate") return Evaluate(r);
  if (command == "exceptionInfo") return ExceptionInfo(r);
  if (command == "continue") return Continue(r);
  if (command == "next") return Step(r, kStepOver);
  if (command == "stepIn") return Step(r, kStepInto);
  if (command == "stepOut") return Step(r, kStepOut);
  if (command == "pause") return Pause(r);
  if (command == "terminate") return Terminate(r);
  if (command == "disconnect") return Disconnect(r);
  Fail(r, "vlmdap does not serve '" + command + "'");
}

void Session::Initialize(const json::Value& r) {
  json::Value caps = json::Value::MakeObject();
  caps.Set("supportsConfigurationDoneRequest", true);
  caps.Set("supportsConditionalBreakpoints", true);
  caps.Set("supportsHitConditionalBreakpoints", true);
  caps.Set("supportsLogPoints", true);
  caps.Set("supportsSetVariable", true);
  caps.Set("supportsEvaluateForHovers", true);
  caps.Set("supportsTerminateRequest", true);
  caps.Set("supportTerminateDebuggee", true);
  caps.Set("supportsExceptionInfoRequest", true);
  caps.Set("supportsBreakpointLocationsRequest", true);
  json::Value filter = json::Value::MakeObject();
  filter.Set("filter", "failures");
  filter.Set("label", "Failures that end the program");
  filter.Set("description", "Stop where an array index is out of bounds or an assertion fails, before END");
  filter.Set("default", true);
  json::Value filters = json::Value::MakeArray();
  filters.Push(std::move(filter));
  caps.Set("exceptionBreakpointFilters", std::move(filters));
  Respond(r, std::move(caps));
}

void Session::Launch(const json::Value& r) {
  if (started_) return Fail(r, "a program is already being debugged");
  const json::Value& args = r["arguments"];
  const std::string program = args["program"].AsString();
  if (program.empty()) return Fail(r, "launch needs \"program\": the path of a program built in debug mode");
  std::string cwd = args["cwd"].AsString();
  LaunchSpec spec;
  spec.program = Absolute(program, cwd);
  if (!Exists(spec.program)) return Fail(r, "there is no program " + spec.program);
  spec.cwd = cwd.empty() ? Folder(spec.program) : Absolute(cwd, "");
  for (const json::Value& a : args["args"].items()) {
    if (!a.IsString()) return Fail(r, "\"args\" must be a list of texts");
    spec.args.push_back(a.AsString());
  }
  // The adapter's environment with the launch's changes (null removes a name).
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) env[std::string(*e, eq - *e)] = eq + 1;
  }
  for (const json::Value::Member& m : args["env"].members()) {
    if (m.second.IsNull()) env.erase(m.first);
    else if (m.second.IsString()) env[m.first] = m.second.AsString();
    else return Fail(r, "\"env\" values must be texts (or null to remove one)");
  }
  for (const auto& [name, value] : env) spec.env.push_back(name + "=" + value);
  const auto tmp = env.find("TMPDIR");
  runLog_ = (tmp != env.end() && !tmp->second.empty() ? tmp->second : std::string("/tmp")) + "/ErrorLog.txt";
  stopOnEntry_ = args["stopOnEntry"].AsBool(false);

  std::string error;
  if (!tracer_.Launch(spec, &programOut_, &programErr_, &error)) return Fail(r, error);
  programPath_ = spec.program;
  Started(r, args["lineMap"].AsString());
}

void Session::Attach(const json::Value& r) {
  if (started_) return Fail(r, "a program is already being debugged");
  const json::Value& args = r["arguments"];
  int64_t pid = args["processId"].AsInt(-1);
  if (args["processId"].IsString()) pid = std::atoll(args["processId"].AsString().c_str());
  if (pid <= 0 || pid > INT_MAX) return Fail(r, "attach needs \"processId\", the program's process id");
  stopOnEntry_ = args["stopOnEntry"].AsBool(false);
  std::string error;
  if (!tracer_.Attach(static_cast<pid_t>(pid), &error)) return Fail(r, error);
  programPath_ = tracer_.executable();
  Started(r, args["lineMap"].AsString());
}

void Session::Started(const json::Value& r, const std::string& mapOverride) {
  started_ = true;
  stateAddress_ = tracer_.stateBlockAddress();
  stateSize_ = tracer_.stateBlockSize();
  const std::string mapPath = mapOverride.empty() ? programPath_ + ".vlmmap" : mapOverride;
  std::string error;
  haveMap_ = map_.Load(mapPath, &error);
  Respond(r);
  json::Value process = json::Value::MakeObject();
  process.Set("name", programPath_);
  process.Set("systemProcessId", static_cast<int64_t>(tracer_.pid()));
  process.Set("isLocalProcess", true);
  process.Set("startMethod", tracer_.launched() ? "launch" : "attach");
  SendEvent("process", std::move(process));
  if (!haveMap_) {
    Output("console", "vlmdap: " + error +
                          "; without the translator's line map, breakpoints cannot be set on source lines and "
                          "frames show statement numbers\n");
  }
  SendEvent("initialized");
}

void Session::SetBreakpoints(const json::Value& r) {
  const json::Value& args = r["arguments"];
  const std::string path = args["source"]["path"].AsString();
  std::vector<Breakpoint> list;
  size_t tableEntries = 0;
  for (const auto& [other, entries] : breakpoints_) {
    if (other == path) continue;
    for (const Breakpoint& b : entries) tableEntries += b.verified ? 1 : 0;
  }
  for (const json::Value& wanted : args["breakpoints"].items()) {
    Breakpoint b;
    b.id = nextBreakpointId_++;
    b.line = static_cast<int32_t>(wanted["line"].AsInt(0));
    b.condition = wanted["condition"].AsString();
    b.logMessage = wanted["logMessage"].AsString();
    const std::string hit = wanted["hitCondition"].AsString();
    std::string problem;
    if (!hit.empty() && !ParseHitCondition(hit, &b.hitOp, &b.hitValue))
      problem = "the hit count must be a number, after >=, >, =, <, <= or % if wanted";
    NodePtr tree;
    std::string why;
    if (problem.empty() && !b.condition.empty() && !ParseExpression(b.condition, &tree, &why))
      problem = "the condition does not read: " + why;
    if (problem.empty()) {
      if (!haveMap_) {
        problem = "the program has no line map";
      } else {
        b.match = map_.Resolve(path, b.line);
        if (map_.ModuleOfFile(path) == nullptr) problem = "the file is not a module of this program";
        else if (!b.match.found) problem = "no statement on this line or after it";
        else if (tableEntries >= kTableLimit) problem = "the program holds at most 1024 breakpoints";
      }
    }
    if (problem.empty()) {
      b.verified = true;
      ++tableEntries;
      if (b.match.line != b.line)
        b.message = "moved from line " + std::to_string(b.line) + " to the next statement, on line " +
                    std::to_string(b.match.line);
    } else {
      b.message = problem;
    }
    list.push_back(std::move(b));
  }
  json::Value shown = json::Value::MakeArray();
  for (const Breakpoint& b : list) {
    json::Value j = json::Value::MakeObject();
    j.Set("id", b.id);
    j.Set("verified", b.verified);
    j.Set("line", b.verified ? b.match.line : b.line);
    if (b.verified) j.Set("column", b.match.column);
    if (!b.message.empty()) j.Set("message", b.message);
    json::Value source = json::Value::MakeObject();
    source.Set("path", path);
    j.Set("source", std::move(source));
    shown.Push(std::move(j));
  }
  if (list.empty()) breakpoints_.erase(path);
  else breakpoints_[path] = std::move(list);
  tablesDirty_ = true;
  json::Value body = json::Value::MakeObject();
  body.Set("breakpoints", std::move(shown));
  Respond(r, std::move(body));
  // The tables may be written only while the program is stopped.
  if (where_ == Where::Statement) {
    WriteBreakpointTables();
  } else if (started_ && firstStopSeen_ && tracer_.alive()) {
    internalStopWanted_ = true;
    RequestLiveStop();
  }
}

void Session::SetExceptionBreakpoints(const json::Value& r) {
  stopOnFailures_ = false;
  for (const json::Value& f : r["arguments"]["filters"].items())
    if (f.AsString() == "failures") stopOnFailures_ = true;
  Respond(r);
}

void Session::BreakpointLocations(const json::Value& r) {
  const json::Value& args = r["arguments"];
  const int32_t first = static_cast<int32_t>(args["line"].AsInt(0));
  const int32_t last = static_cast<int32_t>(args["endLine"].AsInt(first));
  json::Value places = json::Value::MakeArray();
  if (haveMap_) {
    for (const StatementPlace& p : map_.StatementsInLines(args["source"]["path"].AsString(), first, last)) {
      json::Value j = json::Value::MakeObject();
      j.Set("line", p.line);
      j.Set("column", p.column);
      places.Push(std::move(j));
    }
  }
  json::Value body = json::Value::MakeObject();
  body.Set("breakpoints", std::move(places));
  Respond(r, std::move(body));
}

void Session::ConfigurationDone(const json::Value& r) {
  configured_ = true;
  Respond(r);
  if (firstStopWaiting_) {
    firstStopWaiting_ = false;
    if (tablesDirty_) WriteBreakpointTables();
    Decide(true);
  }
}

void Session::Threads(const json::Value& r) {
  json::Value threads = json::Value::MakeArray();
  if (tracer_.alive()) {
    json::Value t = json::Value::MakeObject();
    t.Set("id", 1);
    t.Set("name", "main");
    threads.Push(std::move(t));
  }
  json::Value body = json::Value::MakeObject();
  body.Set("threads", std::move(threads));
  Respond(r, std::move(body));
}

void Session::Continue(const json::Value& r) {
  json::Value body = json::Value::MakeObject();
  body.Set("allThreadsContinued", true);
  Respond(r, std::move(body));
  if (!reported_) return;
  stepping_ = false;
  if (where_ == Where::Statement) ResumeStatement(kRun);
  else ResumeProgram();
}

void Session::Step(const json::Value& r, int32_t command) {
  if (!reported_) return Fail(r, "the program is running");
  Respond(r);
  if (where_ != Where::Statement) {
    // Stopped at a failure: END is all that is left to run.
    stepping_ = false;
    ResumeProgram();
    return;
  }
  const int depth = Depth();
  stepping_ = true;
  stepTarget_ = command == kStepOver ? depth : command == kStepInto ? depth + 1 : depth - 1;
  ResumeStatement(command);
}

void Session::Pause(const json::Value& r) {
  Respond(r);
  if (reported_ || !tracer_.alive()) return;
  pauseWanted_ = true;
  if (firstStopSeen_ && where_ == Where::Nothing) RequestLiveStop();
}

void Session::Terminate(const json::Value& r) {
  Respond(r);
  if (!tracer_.alive()) {
    if (!ended_) OnProgramEnd(Tracer::Event{Tracer::Event::Exited, {}, 0});
    return;
  }
  if (terminating_) return;
  terminating_ = true;
  killAtMs_ = NowMs() + kTerminateMs;
  // END runs at the next statement: with the end request and a break request
  // the program ends through END and writes its report.
  WriteState(state::kEndRequest, 1);
  if (where_ == Where::Statement) {
    WriteState(state::kBreakRequest, 1);
    ResumeStatement(kRun);
  } else if (where_ == Where::Text) {
    ResumeProgram();
  } else if (firstStopWaiting_) {
    firstStopWaiting_ = false;
    WriteState(state::kBreakRequest, 1);
    ResumeStatement(kRun);
  } else {
    RequestLiveStop();
  }
}

void Session::Disconnect(const json::Value& r) {
  const json::Value& args = r["arguments"];
  // A launched program ends with its session; an attached one is left
  // running unless the client asks otherwise.
  const bool end = args["terminateDebuggee"].AsBool(tracer_.launched()) || tracer_.launched();
  Leave(end);
  Respond(r);
  quit_ = true;
}

// ---------------------------------------------------------------- the program

void Session::OnTracer() {
  // Also while the program waits at a stop: it may be killed there.
  while (tracer_.alive()) {
    const Tracer::Event event = tracer_.Poll();
    if (event.kind == Tracer::Event::None) return;
    if (event.kind == Tracer::Event::Message) {
      OnMessage(event.text);
    } else {
      OnProgramEnd(event);
      return;
    }
  }
}

void Session::OnMessage(const std::string& text) {
  if (text.compare(0, 2, "BP") == 0) {
    const uint64_t address = std::strtoull(text.c_str() + 2, nullptr, 16);
    if (address != 0) stateAddress_ = address;
    OnStatement();
  } else if (text.compare(0, 2, "TX") == 0) {
    OnText(text.substr(2));
  } else {
    ResumeProgram();
  }
}

void Session::OnStatement() {
  ClearStopView();
  where_ = Where::Statement;
  if (stateAddress_ == 0 || !ReadDebugState(tracer_, stateAddress_, stateSize_, &state_)) {
    Output("console", "vlmdap: cannot read the program's debug state block; the program goes on\n");
    ResumeProgram();
    return;
  }
  stopModule_ = state_.module;
  stopLine_ = state_.line;
  if (tablesDirty_) WriteBreakpointTables();
  if (terminating_) {
    // Statements run by END itself (the quit callback) pass.
    WriteState(state::kEndRequest, 1);
    ResumeStatement(kRun);
    return;
  }
  if (!firstStopSeen_) {
    firstStopSeen_ = true;
    if (!configured_) {
      firstStopWaiting_ = true;  // until the breakpoints are set
      return;
    }
    Decide(true);
    return;
  }
  Decide(false);
}

void Session::Decide(bool entry) {
  const bool paused = pauseWanted_;
  pauseWanted_ = false;
  internalStopWanted_ = false;
  if (entry && stopOnEntry_) return ReportStop("entry");
  const int depth = Depth();
  const bool stepDone = stepping_ && (depth < 0 || depth <= stepTarget_);
  std::vector<int> hitIds;
  if (BreakpointsWantStop(&hitIds)) return ReportStop("breakpoint", hitIds);
  if (stepDone) return ReportStop("step");
  if (paused) return ReportStop("pause");
  // No one wants this stop: a condition that did not hold, a log message,
  // the stop that wrote new breakpoints, or the entry.
  ResumeStatement(stepping_ ? kKeepStepping : kRun);
}

bool Session::BreakpointsWantStop(std::vector<int>* hitIds) {
  bool stop = false;
  for (auto& [path, list] : breakpoints_) {
    for (Breakpoint& b : list) {
      if (!b.verified || b.match.module != stopModule_ || b.match.statement != stopLine_) continue;
      if (!ConditionHolds(b)) continue;
      ++b.hits;
      if (!b.hitOp.empty()) {
        const int64_t h = b.hits, v = b.hitValue;
        const bool due = b.hitOp == ">=" ? h >= v : b.hitOp == ">" ? h > v : b.hitOp == "=" ? h == v
                         : b.hitOp == "<" ? h < v : b.hitOp == "<=" ? h <= v : h % v == 0;
        if (!due) continue;
      }
      if (!b.logMessage.empty()) {
        FrameScope scope(*this, 0);
        Output("console", json::Latin1ToUtf8(Interpolate(b.logMessage, scope)) + "\n");
        continue;
      }
      stop = true;
      hitIds->push_back(b.id);
    }
  }
  return stop;
}

bool Session::ConditionHolds(Breakpoint& b) {
  if (b.condition.empty()) return true;
  FrameScope scope(*this, 0);
  Value v;
  std::string error, bytes;
  if (!ToLatin1(b.condition, &bytes, &error) || !EvaluateText(bytes, scope, &v, &error)) {
    // A condition that cannot be judged stops, and says why.
    Output("console", "vlmdap: the condition '" + b.condition + "' failed: " + error + "\n");
    return true;
  }
  if (v.isText) {
    Output("console", "vlmdap: the condition '" + b.condition + "' gives a text, not a number\n");
    return true;
  }
  return v.number != 0;
}

void Session::ReportStop(const char* reason, const std::vector<int>& hitIds, const std::string& text) {
  reported_ = true;
  stepping_ = false;
  json::Value body = json::Value::MakeObject();
  body.Set("reason", reason);
  body.Set("threadId", 1);
  body.Set("allThreadsStopped", true);
  if (!hitIds.empty()) {
    json::Value ids = json::Value::MakeArray();
    for (int id : hitIds) ids.Push(id);
    body.Set("hitBreakpointIds", std::move(ids));
  }
  if (!text.empty()) {
    body.Set("description", failureId_ == "bounds" ? "Array index out of bounds" : "Assertion failed");
    body.Set("text", text);
  }
  SendEvent("stopped", std::move(body));
}

void Session::OnText(const std::string& text) {
  const std::string shown = json::Latin1ToUtf8(text);
  Output("console", shown);
  if (stopOnFailures_ && !terminating_ && !failureReported_) {
    if (text.compare(0, 8, "bounds: ") == 0) {
      boundsLine_ = shown;
    } else if ((text.compare(0, 8, "access: ") == 0 && !boundsLine_.empty()) ||
               text.compare(0, 11, "Assertion: ") == 0) {
      // The program is on its way to END: stop here, where the failing
      // statement's variables still stand.
      failureReported_ = true;
      failureId_ = text[0] == 'A' ? "assertion" : "bounds";
      failureText_ = failureId_ == "bounds" ? boundsLine_ + shown : shown;
      while (!failureText_.empty() && failureText_.back() == '\n') failureText_.pop_back();
      ClearStopView();
      where_ = Where::Text;
      DebugState fresh;
      if (stateAddress_ != 0 && ReadDebugState(tracer_, stateAddress_, stateSize_, &fresh)) state_ = fresh;
      stopModule_ = state_.module;
      stopLine_ = state_.line;
      int32_t value = 0;
      if (state_.currentModule != 0 && tracer_.Get(state_.currentModule, &value)) stopModule_ = value;
      if (state_.currentLine != 0 && tracer_.Get(state_.currentLine, &value)) stopLine_ = value;
      ReportStop("exception", {}, failureText_);
      return;
    }
  }
  ResumeProgram();
}

void Session::ResumeStatement(int32_t command) {
  WriteState(state::kStepCommand, command);
  ResumeProgram();
}

void Session::ResumeProgram() {
  ClearStopView();
  where_ = Where::Nothing;
  reported_ = false;
  if (tracer_.alive() && tracer_.stopped() && !tracer_.Resume()) OnTracer();  // it ended meanwhile
}

void Session::WriteState(uint64_t offset, int32_t value) {
  if (stateAddress_ != 0) tracer_.Write(stateAddress_ + offset, &value, sizeof value);
}

void Session::RequestLiveStop() {
  if (terminating_) WriteState(state::kEndRequest, 1);
  WriteState(state::kBreakRequest, 1);
  retryAtMs_ = NowMs() + kRetryMs;
}

bool Session::WriteBreakpointTables() {
  if (state_.breakpointModules == 0 || state_.breakpointLines == 0) return false;
  std::vector<int32_t> modules, lines;
  for (const auto& [path, list] : breakpoints_) {
    for (const Breakpoint& b : list) {
      if (!b.verified) continue;
      bool seen = false;
      for (size_t k = 0; k < modules.size() && !seen; ++k)
        seen = modules[k] == b.match.module && lines[k] == b.match.statement;
      if (seen || modules.size() >= static_cast<size_t>(kTableLimit)) continue;
      modules.push_back(b.match.module);
      lines.push_back(b.match.statement);
    }
  }
  // Entries first, the count last: the program reads only count entries.
  const int32_t count = static_cast<int32_t>(modules.size());
  WriteState(state::kBreakpointCount, 0);
  bool ok = tracer_.Write(state_.breakpointModules, modules.data(), modules.size() * 4) &&
            tracer_.Write(state_.breakpointLines, lines.data(), lines.size() * 4);
  if (ok) WriteState(state::kBreakpointCount, count);
  tablesDirty_ = !ok;
  return ok;
}

void Session::DrainOutput(int* fd, const char* category) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(*fd, buffer, sizeof buffer);
    if (n > 0) {
      Output(category, json::Latin1ToUtf8(std::string_view(buffer, static_cast<size_t>(n))));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (n < 0 && errno != EAGAIN)) {
      close(*fd);
      *fd = -1;
    }
    return;
  }
}

void Session::OnProgramEnd(const Tracer::Event& event) {
  if (ended_) return;
  ended_ = true;
  ClearStopView();
  where_ = Where::Nothing;
  reported_ = false;
  killAtMs_ = 0;
  if (programOut_ >= 0) DrainOutput(&programOut_, "stdout");
  if (programErr_ >= 0) DrainOutput(&programErr_, "stderr");
  int exitCode = event.code;
  if (event.kind == Tracer::Event::Killed) {
    exitCode = 128 + event.code;
    Output("console", "vlmdap: the program was ended by " + SignalName(event.code) + "\n");
  } else {
    if (!runLog_.empty()) ReportEndOfRun();
    Output("console", "vlmdap: the program exited with code " + std::to_string(event.code) + "\n");
  }
  json::Value exited = json::Value::MakeObject();
  exited.Set("exitCode", exitCode);
  SendEvent("exited", std::move(exited));
  SendEvent("terminated");
}

void Session::ReportEndOfRun() {
  std::ifstream in(runLog_, std::ios::binary);
  if (!in) return;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  for (size_t k = lines.size(); k-- > 0;) {
    if (lines[k] != "-End On Line") continue;
    if (k + 4 >= lines.size()) return;
    const int code = std::atoi(lines[k + 1].c_str());
    const int line = std::atoi(lines[k + 3].c_str());
    const int module = std::atoi(lines[k + 4].c_str());
    std::string where = "statement " + std::to_string(line) + " of module " + std::to_string(module);
    int32_t sourceLine = 0, column = 0;
    const json::Value source = SourceOf(module, line, &sourceLine, &column);
    if (source.Has("path")) where += " (" + source["path"].AsString() + ":" + std::to_string(sourceLine) + ")";
    Output("console", "vlmdap: END with error " + std::to_string(code) + " (" + ErrorCodeText(code) + ") at " +
                          where + "\n");
    return;
  }
}

void Session::Leave(bool endProgram) {
  if (!tracer_.alive()) return;
  if (endProgram) {
    tracer_.Kill();
    return;
  }
  // The program goes on without a debugger: no breakpoints, no stepping.
  WriteState(state::kBreakpointCount, 0);
  WriteState(state::kBreakRequest, 0);
  if (where_ == Where::Statement) WriteState(state::kStepCommand, kRun);
  std::string error;
  if (!tracer_.Detach(&error)) {
    std::fprintf(stderr, "vlmdap: %s; the program is ended instead\n", error.c_str());
    tracer_.Kill();
  }
}

}  // namespace dap
