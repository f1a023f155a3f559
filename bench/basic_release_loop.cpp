// A BASIC program's game-logic loop built by the velmora command twice,
// `velmora build` (the line hook before every statement, for the debugger)
// and `velmora build --release`, and both run headless a few rounds: prints
// each build's wall time (median and fastest) and the ratio debug / release.
// The loop moves entities held in arrays, bounces them off the walls and off
// each other by distance, and counts a score: 40,000 steps of 48 entities,
// about 1.9 million entity moves and 47 million distance checks. It prints a
// checksum of the final state, which both builds must print alike (else the
// benchmark fails with exit status 1). The program's start (the runtime and
// its window, offscreen) is part of each time.
// Usage: basic_release_loop [VELMORA [ROUNDS]]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_bench.h"

namespace {

constexpr double kLimit = 600;  // seconds a command may run

// Positions start whole and velocities are quarters, so every position and
// distance is exact in binary: the checksum cannot depend on how the
// compiler orders or fuses the arithmetic.
const char* kProgram = R"(' The release-loop benchmark: a game's logic without drawing. Entities move in a
' box, bounce off its walls and off each other when they come close; every hit
' scores. The checksum of the final state is printed, then the program ends.
PROJECT ScreenWidth = 320, ScreenHeight = 240, FullScreen = 0, AppTitle = "release loop"
CONST N = 48, STEPS = 40000, WIDTH = 320, HEIGHT = 240, RADIUS = 6
GLOBAL px[], py[], vx[], vy[], hits[], score

DIM px[N], py[N], vx[N], vy[N], hits[N]
FOR i = 0 TO N - 1
  px[i] = (i * 53) MOD WIDTH
  py[i] = (i * 29) MOD HEIGHT
  vx[i] = ((i * 7) MOD 11) / 4 - 1.25
  vy[i] = ((i * 5) MOD 13) / 4 - 1.5
NEXT
FOR s = 1 TO STEPS
  moveAll()
  collide()
NEXT
checksum = score
FOR i = 0 TO N - 1
  checksum = (checksum * 31 + INT(px[i] * 4) + INT(py[i] * 4) * 7 + hits[i]) MOD 1000003
NEXT
PRINT "score "; STR$(score)
PRINT "checksum "; STR$(checksum)
END

SUB moveAll()
  LOCAL i
  FOR i = 0 TO N - 1
    px[i] = px[i] + vx[i]
    py[i] = py[i] + vy[i]
    IF px[i] < 0 OR px[i] > WIDTH THEN vx[i] = -vx[i]
    IF py[i] < 0 OR py[i] > HEIGHT THEN vy[i] = -vy[i]
  NEXT
END SUB

SUB collide()
  LOCAL i, j, dx, dy
  FOR i = 0 TO N - 2
    FOR j = i + 1 TO N - 1
      dx = px[i] - px[j]
      dy = py[i] - py[j]
      IF dx * dx + dy * dy < RADIUS * RADIUS THEN
        score = score + 1
        hits[i] = hits[i] + 1
        hits[j] = hits[j] + 1
        vx[i] = -vx[i]
        vy[j] = -vy[j]
      ENDIF
    NEXT
  NEXT
END SUB
)";

const char* kProjectFile =
    "{\n"
    "  \"name\": \"releaseloop\",\n"
    "  \"version\": \"0.1.0\",\n"
    "  \"modules\": [\"main.bas\"]\n"
    "}\n";

bool Fails(const command_bench::Outcome& outcome, const std::string& what) {
  if (outcome.status == 0) return false;
  std::fprintf(stderr, "%s failed (exit status %d):\n%s%s\n", what.c_str(), outcome.status, outcome.output.c_str(),
               outcome.errors.c_str());
  return true;
}

// The program `velmora build [--release] DIR` made: the last line it prints.
std::string Build(const std::string& velmora, const std::string& dir, bool release) {
  std::vector<std::string> command = {velmora, "build"};
  if (release) command.push_back("--release");
  command.push_back(dir);
  const command_bench::Outcome built = command_bench::Run(command, dir, kLimit);
  if (Fails(built, release ? "velmora build --release" : "velmora build")) return "";
  const std::string program = command_bench::LastLine(built.output);
  if (!std::filesystem::is_regular_file(program)) {
    std::fprintf(stderr, "velmora build%s printed '%s', which is no program\n", release ? " --release" : "",
                 program.c_str());
    return "";
  }
  return program;
}

// The number after "checksum " in a run's output, "" when there is none.
std::string Checksum(const std::string& output) {
  const size_t at = output.find("checksum ");
  if (at == std::string::npos) return "";
  const size_t end = output.find('\n', at);
  return output.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string velmora = command_bench::VelmoraPath(argc, argv);
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: basic_release_loop [VELMORA [ROUNDS]]\n");
    return 2;
  }
  command_bench::TempFolder folder("basic_release_loop");
  const std::string dir = folder.path();
  if (dir.empty() || !command_bench::WriteFile(dir + "/velmora.json", kProjectFile) ||
      !command_bench::WriteFile(dir + "/main.bas", kProgram)) {
    std::fprintf(stderr, "basic_release_loop: cannot write the project\n");
    return 1;
  }
  const std::string programs[2] = {Build(velmora, dir, false), Build(velmora, dir, true)};
  if (programs[0].empty() || programs[1].empty()) return 1;
  if (programs[0] == programs[1]) {
    std::fprintf(stderr, "the debug and the release build are one program: %s\n", programs[0].c_str());
    return 1;
  }

  const char* names[2] = {"debug", "release"};
  std::vector<double> times[2];
  std::string checksum;
  for (int round = 0; round < rounds; ++round) {
    for (int b = 0; b < 2; ++b) {
      const std::string& program = programs[b];
      const command_bench::Outcome ran =
          command_bench::Run({program}, std::filesystem::path(program).parent_path().string(), kLimit);
      if (Fails(ran, std::string("the ") + names[b] + " program")) return 1;
      const std::string sum = Checksum(ran.output);
      if (sum.empty() || (!checksum.empty() && sum != checksum)) {
        std::fprintf(stderr, "the %s program printed checksum '%s', not '%s':\n%s\n", names[b], sum.c_str(),
                     checksum.c_str(), ran.output.c_str());
        return 1;
      }
      checksum = sum;
      times[b].push_back(ran.seconds);
    }
  }

  const double debug = command_bench::Median(times[0]), release = command_bench::Median(times[1]);
  std::printf("A BASIC game-logic loop (checksum %s in both builds), %d rounds:\n", checksum.c_str(), rounds);
  std::printf("  %-40s median %7.3f s   min %7.3f s\n", "velmora build (debug)", debug, command_bench::Min(times[0]));
  std::printf("  %-40s median %7.3f s   min %7.3f s\n", "velmora build --release", release,
              command_bench::Min(times[1]));
  std::printf("  %-40s %8.2f\n", "debug / release (medians)", release > 0 ? debug / release : 0.0);
  return 0;
}
