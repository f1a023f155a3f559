// The language server's speed on a 20,000-line module (a main program and
// routines shaped like Polyvane's, in a folder of its own): the time from a
// change sent over the server's pipes to its diagnostics arriving, as wall
// time and as the server's processor time, against the baseline of the
// translator's own check of the same module (`vlmc --check`, its processor
// time). The target is under 100 ms from change to diagnostics.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "json.h"
#include "ratio_reporter.h"
#include "tool_bench.h"

namespace {

constexpr int kLines = 20000;

// The module in a folder of its own (the server reads a folder's .bas files as one program).
const std::string& ModulePath() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() / ("vlmls_speed_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "speed.bas").string();
    std::ofstream(file, std::ios::binary) << tool_bench::SpeedModuleText(kLines);
    return file;
  }();
  return path;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The baseline: the translator's check of the module, as a command (its processor time).
void BM_VlmcCheck(benchmark::State& state) {
  const std::string command = std::string(VLMC_PATH) + " --check " + ModulePath() + " 2>/dev/null";
  for (auto _ : state) {
    const double before = ChildrenCpuSeconds();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("vlmc --check failed");
      break;
    }
    state.SetIterationTime(ChildrenCpuSeconds() - before);
  }
}
BENCHMARK(BM_VlmcCheck)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// vlmls as a child on two pipes, spoken to as an editor does.
class Server {
 public:
  Server() { pid_ = tool_bench::StartOnPipes(VLMLS_PATH, &to_, &from_); }
  ~Server() {
    if (pid_ <= 0) return;
    close(to_);
    close(from_);
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Send(const json::Value& message) {
    const std::string body = json::Write(message);
    const std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (size_t done = 0; done < framed.size();) {
      const ssize_t n = write(to_, framed.data() + done, framed.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  // The next message, or a null value after 30 s or at the end of the output.
  json::Value Receive() {
    for (;;) {
      const size_t end = buffer_.find("\r\n\r\n");
      if (end != std::string::npos) {
        const size_t length = std::stoul(buffer_.substr(buffer_.find(':') + 1, end));
        if (buffer_.size() >= end + 4 + length) {
          json::Value v;
          std::string error;
          json::Parse(std::string_view(buffer_).substr(end + 4, length), &v, &error);
          buffer_.erase(0, end + 4 + length);
          return v;
        }
      }
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, 30000) <= 0) return nullptr;
      char chunk[1 << 16];
      const ssize_t n = read(from_, chunk, sizeof chunk);
      if (n <= 0) return nullptr;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  // The diagnostics of that version of the document (other messages are passed over).
  json::Value Diagnostics(int64_t version) {
    for (;;) {
      json::Value m = Receive();
      if (m.IsNull()) return m;
      if (m["method"].AsString() == "textDocument/publishDiagnostics" && m["params"]["version"].AsInt() == version)
        return m;
    }
  }
  json::Value Answer(int64_t id) {
    for (;;) {
      json::Value m = Receive();
      if (m.IsNull() || (m.Has("id") && m["id"].AsInt() == id)) return m;
    }
  }
  // The server's processor time so far, in seconds.
  double CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/schedstat");
    double ns = 0;
    stat >> ns;
    return ns / 1e9;
  }
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string buffer_;
};

json::Value Message(const char* method, json::Value params, int64_t id = -1) {
  json::Value m = json::Value::MakeObject();
  m.Set("jsonrpc", "2.0");
  if (id >= 0) m.Set("id", id);
  m.Set("method", method);
  m.Set("params", std::move(params));
  return m;
}

json::Value Position(int line, int character) {
  json::Value p = json::Value::MakeObject();
  p.Set("line", line);
  p.Set("character", character);
  return p;
}

// One change at a time, each to a line of the first routine, alternately adding an error and
// taking it away: the time until that version's diagnostics arrive.
void ChangeToDiagnostics(benchmark::State& state, bool processorTime) {
  Server server;
  const std::string uri = "file://" + ModulePath();
  json::Value init = json::Value::MakeObject();
  init.Set("capabilities", json::Value::MakeObject());
  server.Send(Message("initialize", init, 1));
  server.Answer(1);
  std::ifstream in(ModulePath(), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  json::Value doc = json::Value::MakeObject();
  doc.Set("uri", uri);
  doc.Set("languageId", "velmora-basic");
  doc.Set("version", 1);
  doc.Set("text", text);
  json::Value open = json::Value::MakeObject();
  open.Set("textDocument", doc);
  server.Send(Message("textDocument/didOpen", open));
  if (!server.Started() || server.Diagnostics(1).IsNull()) {
    state.SkipWithError("vlmls gave no diagnostics");
    return;
  }
  int64_t version = 1, id = 1;
  for (auto _ : state) {
    ++version;
    json::Value range = json::Value::MakeObject();
    range.Set("start", Position(6, 0));
    range.Set("end", Position(6, 200));
    json::Value change = json::Value::MakeObject();
    change.Set("range", range);
    change.Set("text", version % 2 ? "    theta = 2 * i * 180 / r - 90" : "    theta = 2 * i * 180 / r - thetta");
    json::Value changes = json::Value::MakeArray();
    changes.Push(change);
    json::Value id_doc = json::Value::MakeObject();
    id_doc.Set("uri", uri);
    id_doc.Set("version", version);
    json::Value params = json::Value::MakeObject();
    params.Set("textDocument", id_doc);
    params.Set("contentChanges", changes);
    const double cpu = server.CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    server.Send(Message("textDocument/didChange", params));
    const json::Value diagnostics = server.Diagnostics(version);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = server.CpuSeconds() - cpu;
    if (diagnostics.IsNull() || diagnostics["params"]["diagnostics"].size() != static_cast<size_t>(version % 2 ? 0 : 1)) {
      state.SkipWithError("the diagnostics of the change did not come");
      break;
    }
    state.SetIterationTime(processorTime ? used : wall);
    // Untimed: a request, answered once the server has also indexed the change.
    json::Value where = json::Value::MakeObject();
    json::Value td = json::Value::MakeObject();
    td.Set("uri", uri);
    where.Set("textDocument", td);
    where.Set("position", Position(6, 5));
    server.Send(Message("textDocument/hover", where, ++id));
    server.Answer(id);
  }
}

void BM_ChangeToDiagnostics(benchmark::State& state) { ChangeToDiagnostics(state, false); }
void BM_ChangeProcessorTime(benchmark::State& state) { ChangeToDiagnostics(state, true); }
BENCHMARK(BM_ChangeToDiagnostics)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeProcessorTime)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("A change to a %d-line module, against vlmc --check of it (processor time):\n", kLines);
  reporter.Ratio("change to diagnostics (wall) / vlmc --check", "BM_ChangeToDiagnostics/iterations:20/manual_time",
                 "BM_VlmcCheck/iterations:5/manual_time");
  reporter.Ratio("change (server's processor time) / vlmc --check", "BM_ChangeProcessorTime/iterations:20/manual_time",
                 "BM_VlmcCheck/iterations:5/manual_time");
  std::printf("vlmls: diagnostics %.0f ms after a change (%.0f ms of its processor time); vlmc --check %.0f ms "
              "(target: under 100 ms)\n",
              reporter.Time("BM_ChangeToDiagnostics/iterations:20/manual_time"),
              reporter.Time("BM_ChangeProcessorTime/iterations:20/manual_time"),
              reporter.Time("BM_VlmcCheck/iterations:5/manual_time"));
  std::filesystem::remove_all(std::filesystem::path(ModulePath()).parent_path());
  benchmark::Shutdown();
  return 0;
}
