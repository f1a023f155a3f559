// A program that RunProgram starts in the tests: it writes the arguments it
// received, one per line, to a report file and exits with the code it is
// given.
//   external_child_program REPORT CODE [ARG...]
// With CODE "gate:FILE" it first waits (at most a minute) until FILE exists,
// then reports and exits with 0; with CODE "signal:N" it reports and ends
// itself with signal N.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string code = argv[2];
  if (code.rfind("gate:", 0) == 0) {
    const std::string gate = code.substr(5);
    for (int i = 0; i < 6000 && !std::filesystem::exists(gate); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Written beside the report and renamed over it, so the test never sees
  // half of it.
  const std::string report = argv[1];
  {
    std::ofstream out(report + ".part", std::ios::binary);
    for (int i = 3; i < argc; ++i) out << argv[i] << '\n';
  }
  std::filesystem::rename(report + ".part", report);
  if (code.rfind("signal:", 0) == 0) std::raise(std::atoi(code.c_str() + 7));
  return code.rfind("gate:", 0) == 0 ? 0 : std::atoi(code.c_str());
}
