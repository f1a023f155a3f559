// One debug session over the Debug Adapter Protocol: requests from the
// client on one stream, responses and events on another, and one program
// launched or attached to (tracer.h). Everything runs on one thread in one
// poll loop: the client's stream, the program's output pipes and, through a
// signalfd, its stops and its end.
//
// How the program's protocol serves the requests (docs/debugger-protocol.md):
// breakpoints on source lines are statements (module, number) found through
// the translator's line map and written to the program's breakpoint tables;
// conditions, hit counts and log messages are the adapter's own, judged at
// each stop; continue, next, stepIn and stepOut are the step commands;
// pause and terminate are the break and end requests, written while the
// program runs; the call stack is the program's frame records; failures
// that end the program (bounds, assertions) arrive as "TX" texts, where the
// adapter stops before END goes on.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "expression.h"
#include "framing.h"
#include "json.h"
#include "line_map.h"
#include "program_state.h"
#include "tracer.h"

namespace dap {

class FrameScope;

class Session {
 public:
  Session(int inFd, int outFd);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Serves the client until it disconnects or its stream ends, or SIGTERM,
  // SIGINT or SIGHUP arrives; the program is then ended (launched) or left
  // running (attached). Returns the process exit code.
  int Run();

 private:
  friend class FrameScope;

  struct Breakpoint {
    int id = 0;
    int32_t line = 0;  // as requested
    LineMatch match;
    bool verified = false;
    std::string message;
    std::string condition, logMessage;
    std::string hitOp;  // ">=", ">", "=", "<", "<=" or "%" ("" for none)
    int64_t hitValue = 0;
    int64_t hits = 0;
  };

  // What a variablesReference shows: a scope's table, one record of an array
  // of records (both perhaps only the entries under a prefix: a record's
  // fields "p.x", "p.y" gather under "p"), or the elements of an array.
  struct Handle {
    enum Kind { Locals, Globals, Record, Array } kind = Locals;
    int level = 0;               // frame (0 = innermost); -1 for the globals
    std::string prefix;          // "name." of the entries it holds, or empty for all
    std::string expression;      // Record, Array: how evaluate names it (pts[2], grid)
    uint64_t base = 0;           // Record: its address
    RecordLayout layout;         // Record
    Variable array;              // Array
    std::vector<int64_t> fixed;  // Array: leading indices already chosen
  };

  enum class Where { Nothing, Statement, Text };

  // ---- the client
  void Send(const json::Value& message);
  void Respond(const json::Value& request, json::Value body = json::Value());
  void Fail(const json::Value& request, const std::string& message);
  void SendEvent(const char* event, json::Value body = json::Value());
  void Output(const char* category, const std::string& utf8);
  void OnClientBytes();
  void Dispatch(const json::Value& request);

  void Initialize(const json::Value& r);
  void Launch(const json::Value& r);
  void Attach(const json::Value& r);
  void Started(const json::Value& r, const std::string& mapOverride);
  void SetBreakpoints(const json::Value& r);
  void SetExceptionBreakpoints(const json::Value& r);
  void BreakpointLocations(const json::Value& r);
  void ConfigurationDone(const json::Value& r);
  void Threads(const json::Value& r);
  void StackTrace(const json::Value& r);
  void Scopes(const json::Value& r);
  void Variables(const json::Value& r);
  void SetVariable(const json::Value& r);
  void Evaluate(const json::Value& r);
  void ExceptionInfo(const json::Value& r);
  void Continue(const json::Value& r);
  void Step(const json::Value& r, int32_t command);
  void Pause(const json::Value& r);
  void Terminate(const json::Value& r);
  void Disconnect(const json::Value& r);

  // ---- the program
  void OnTracer();
  void OnMessage(const std::string& text);
  void OnStatement();
  void OnText(const std::string& text);
  void Decide(bool entry);
  bool BreakpointsWantStop(std::vector<int>* hitIds);
  bool ConditionHolds(Breakpoint& b);
  void ReportStop(const char* reason, const std::vector<int>& hitIds = {}, const std::string& text = {});
  void ResumeStatement(int32_t command);
  void ResumeProgram();
  void RequestLiveStop();
  void WriteState(uint64_t offset, int32_t value);
  bool WriteBreakpointTables();
  void OnProgramEnd(const Tracer::Event& event);
  void DrainOutput(int* fd, const char* category);
  void ReportEndOfRun();
  void Leave(bool endProgram);
  void Timers();
  int PollTimeout() const;

  // ---- a stop's view
  void ClearStopView();
  bool LoadFrames(std::string* error);
  const std::vector<Variable>& Globals();
  const std::vector<Variable>* Locals(int level);
  int Depth() const;
  json::Value SourceOf(int32_t module, int32_t statement, int32_t* line, int32_t* column) const;
  std::string RoutineName(const std::string& cpp) const;
  int NewHandle(Handle handle);
  json::Value VariableJson(const Variable& v, const std::string& shown, const std::string& evaluateName);
  bool TableOf(const Handle& h, std::vector<Variable>* table, std::string* error);
  json::Value ListTable(const std::vector<Variable>& table, const Handle& origin);
  json::Value ListArray(const Handle& h, const json::Value& args, std::string* error);
  bool ToLatin1(const std::string& utf8, std::string* bytes, std::string* error);
  // The handle of a record an expression names whole (ship, ship.pos, pts[2], pts[2].pos).
  bool RecordGroup(const Node& tree, int level, Handle* group);

  int in_, out_;
  int signals_ = -1;
  FrameReader reader_;
  int seq_ = 1;  // of the next message the adapter sends
  bool quit_ = false;
  int exitCode_ = 0;

  // The program.
  Tracer tracer_;
  int programOut_ = -1, programErr_ = -1;
  bool started_ = false;   // launched or attached
  bool ended_ = false;     // exited and terminated were sent
  std::string programPath_;
  std::string runLog_;     // the run log a launched program writes its END report to
  uint64_t stateAddress_ = 0;
  uint64_t stateSize_ = 0;
  LineMap map_;
  bool haveMap_ = false;

  // The conversation.
  bool configured_ = false;
  bool stopOnEntry_ = false;
  bool firstStopSeen_ = false;
  bool firstStopWaiting_ = false;  // the first stop came before configurationDone
  bool stopOnFailures_ = true;
  int nextBreakpointId_ = 1;
  std::map<std::string, std::vector<Breakpoint>> breakpoints_;  // by source path
  bool tablesDirty_ = false;

  // Run control.
  Where where_ = Where::Nothing;  // what the program waits at
  bool reported_ = false;         // the client was told of this stop
  bool stepping_ = false;
  int stepTarget_ = 0;            // stop at a depth at most this
  bool pauseWanted_ = false;
  bool internalStopWanted_ = false;  // breakpoints changed while running
  bool terminating_ = false;
  int64_t retryAtMs_ = 0;         // when the live requests are written again
  int64_t killAtMs_ = 0;          // terminate: when the program is killed if still running
  std::string boundsLine_;        // the "bounds:" text of a failure in progress
  bool failureReported_ = false;
  std::string failureId_, failureText_;

  // The stop's view, valid while reported_.
  DebugState state_;
  int32_t stopModule_ = 0, stopLine_ = 0;
  bool framesLoaded_ = false;
  std::vector<Frame> frames_;
  bool globalsLoaded_ = false;
  std::vector<Variable> globals_;
  std::map<int, std::vector<Variable>> locals_;
  std::vector<Handle> handles_;
};

// The names an expression sees in one frame of the stop: that frame's locals,
// then the globals.
class FrameScope : public NameScope {
 public:
  FrameScope(Session& session, int level) : session_(session), level_(level) {}
  bool Find(const std::string& name, Variable* variable) override;
  bool IsRecord(const std::string& name) override;
  Memory& memory() override;

 private:
  Session& session_;
  int level_;
};

}  // namespace dap
