// The edit-and-run loop of the velmora command: a generated project of 1,000
// lines in two modules (a main program calling the game-logic routines of
// logic.bas) run with `velmora run DIR -- --frames 1`, cold (no .velmora/
// cache: every module translated and compiled, the program linked) against
// warm (one line inside a routine of logic.bas changed since the last run).
// Prints the wall times of both (median and fastest of the rounds), their
// ratio and whether the warm run meets its target (under 1.5 s).
// Usage: velmora_edit_run [VELMORA [ROUNDS]]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_bench.h"

namespace {

constexpr int kLines = 1000;
constexpr int kRules = 38;        // the routines of logic.bas, each called by the main program
constexpr int kEditedRule = 17;   // the routine whose line the warm runs change
constexpr double kWarmTarget = 1.5;
constexpr double kLimit = 600;    // seconds a command may run

// main.bas: the frame loop, calling every rule for every entity, then moving
// and drawing them. It ends after the frames --frames asks for.
std::string MainModule() {
  std::string text =
      "' The edit-and-run benchmark's main program: each frame every rule of logic.bas\n"
      "' runs for every entity, then the entities move and are drawn.\n"
      "GLOBAL total\n"
      "initWorld()\n"
      "REPEAT\n"
      "  FOR i = 0 TO MAXE - 1\n";
  for (int k = 0; k < kRules; ++k) text += "    total = total + rule" + std::to_string(k) + "(i, " + std::to_string(k % 3 + 1) + ")\n";
  text +=
      "  NEXT\n"
      "  moveAll()\n"
      "  ClearScreen($201008)\n"
      "  drawAll()\n"
      "  ShowScreen()\n"
      "FOREVER\n";
  return text;
}

int CountLines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

// logic.bas: the world's arrays, its set-up, movement and drawing, and the
// rules (distance checks between entities, hit points, a score), padded with
// comment lines so that the two modules hold kLines lines. `edit` changes one
// line inside rule kEditedRule.
std::string LogicModule(int edit, int main_lines) {
  std::string text =
      "' The edit-and-run benchmark's game logic: entities that move, bounce off the\n"
      "' walls and collide by distance, a score and the entities' hit points.\n"
      "CONST MAXE = 48, WIDTH = 320, HEIGHT = 240\n"
      "GLOBAL ex[], ey[], evx[], evy[], ehp[], score, tick\n"
      "\n"
      "SUB initWorld()\n"
      "  LOCAL i\n"
      "  DIM ex[MAXE], ey[MAXE], evx[MAXE], evy[MAXE], ehp[MAXE]\n"
      "  FOR i = 0 TO MAXE - 1\n"
      "    ex[i] = (i * 53) MOD WIDTH\n"
      "    ey[i] = (i * 29) MOD HEIGHT\n"
      "    evx[i] = ((i * 7) MOD 11) / 4 - 1.25\n"
      "    evy[i] = ((i * 5) MOD 13) / 4 - 1.5\n"
      "    ehp[i] = 3\n"
      "  NEXT\n"
      "END SUB\n"
      "\n"
      "SUB moveAll()\n"
      "  LOCAL i\n"
      "  FOR i = 0 TO MAXE - 1\n"
      "    ex[i] = ex[i] + evx[i]\n"
      "    ey[i] = ey[i] + evy[i]\n"
      "    IF ex[i] < 0 OR ex[i] > WIDTH THEN evx[i] = -evx[i]\n"
      "    IF ey[i] < 0 OR ey[i] > HEIGHT THEN evy[i] = -evy[i]\n"
      "  NEXT\n"
      "END SUB\n"
      "\n"
      "SUB drawAll()\n"
      "  LOCAL i\n"
      "  FOR i = 0 TO MAXE - 1\n"
      "    DrawRect(ex[i], ey[i], 4, 4, $00E0FF)\n"
      "  NEXT\n"
      "END SUB\n";
  for (int k = 0; k < kRules; ++k) {
    const std::string n = std::to_string(k);
    const std::string step = std::to_string(k == kEditedRule ? edit + 1 : 1);
    text += "\n"
            "' Rule " + n + ": entity i against the one " + std::to_string(k % 47 + 1) + " places on.\n"
            "FUNCTION rule" + n + "(i, gain)\n"
            "  LOCAL dx, dy, d2, j, bonus\n"
            "  j = (i + " + std::to_string(k % 47 + 1) + ") MOD MAXE\n"
            "  dx = ex[i] - ex[j]\n"
            "  dy = ey[i] - ey[j]\n"
            "  d2 = dx * dx + dy * dy\n"
            "  IF d2 < " + std::to_string(100 + k) + " THEN\n"
            "    score = score + gain\n"
            "    evx[i] = -evx[i]\n"
            "    evy[j] = -evy[j]\n"
            "  ELSEIF d2 > " + std::to_string(40000 + 10 * k) + " THEN\n"
            "    bonus = gain / 2\n"
            "  ENDIF\n"
            "  IF ehp[i] <= 0 THEN\n"
            "    ehp[i] = " + std::to_string(3 + k % 5) + "\n"
            "    bonus = bonus + 1\n"
            "  ELSE\n"
            "    ehp[i] = ehp[i] - 0.25\n"
            "  ENDIF\n"
            "  tick = tick + " + step + "\n"
            "  RETURN bonus + gain\n"
            "END FUNCTION\n";
  }
  for (int line = CountLines(text) + main_lines; line < kLines; ++line) {
    text += "' The score counts the hits of every rule; the hit points come back after a hit.\n";
  }
  return text;
}

const char* kProjectFile =
    "{\n"
    "  \"name\": \"editrun\",\n"
    "  \"version\": \"0.1.0\",\n"
    "  \"modules\": [\"main.bas\", \"logic.bas\"],\n"
    "  \"settings\": {\"ScreenWidth\": 320, \"ScreenHeight\": 240, \"AppTitle\": \"edit run\"}\n"
    "}\n";

bool Fails(const command_bench::Outcome& outcome, const char* what) {
  if (outcome.status == 0) return false;
  std::fprintf(stderr, "%s failed (exit status %d):\n%s%s\n", what, outcome.status, outcome.output.c_str(),
               outcome.errors.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string velmora = command_bench::VelmoraPath(argc, argv);
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: velmora_edit_run [VELMORA [ROUNDS]]\n");
    return 2;
  }
  command_bench::TempFolder folder("velmora_edit_run");
  const std::string dir = folder.path();
  if (dir.empty()) {
    std::perror("velmora_edit_run: temporary folder");
    return 1;
  }
  const std::string main_text = MainModule();
  const int main_lines = CountLines(main_text);
  int edit = 0;
  const std::string logic = dir + "/logic.bas";
  if (!command_bench::WriteFile(dir + "/velmora.json", kProjectFile) ||
      !command_bench::WriteFile(dir + "/main.bas", main_text) ||
      !command_bench::WriteFile(logic, LogicModule(edit, main_lines))) {
    std::fprintf(stderr, "velmora_edit_run: cannot write the project in %s\n", dir.c_str());
    return 1;
  }
  const int lines = main_lines + CountLines(command_bench::ReadFile(logic));
  if (Fails(command_bench::Run({velmora, "check", dir}, dir, kLimit), "velmora check")) return 1;

  const std::vector<std::string> run = {velmora, "run", dir, "--", "--frames", "1"};
  std::vector<double> cold, warm;
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::remove_all(dir + "/.velmora");
    const command_bench::Outcome first = command_bench::Run(run, dir, kLimit);
    if (Fails(first, "cold velmora run")) return 1;
    cold.push_back(first.seconds);
    // Two edits a round, each a new value in the same line of one routine.
    for (int k = 0; k < 2; ++k) {
      if (!command_bench::WriteFile(logic, LogicModule(++edit, main_lines))) return 1;
      const command_bench::Outcome again = command_bench::Run(run, dir, kLimit);
      if (Fails(again, "warm velmora run")) return 1;
      warm.push_back(again.seconds);
    }
  }

  const double cold_median = command_bench::Median(cold), warm_median = command_bench::Median(warm);
  std::printf("velmora run of a %d-line project in two modules, %d rounds (%zu cold, %zu warm runs):\n", lines,
              rounds, cold.size(), warm.size());
  std::printf("  %-40s median %7.3f s   min %7.3f s\n", "cold (no .velmora/)", cold_median, command_bench::Min(cold));
  std::printf("  %-40s median %7.3f s   min %7.3f s\n", "warm (a line of logic.bas changed)", warm_median,
              command_bench::Min(warm));
  std::printf("  %-40s %8.2f\n", "cold / warm (medians)", warm_median > 0 ? cold_median / warm_median : 0.0);
  std::printf("warm edit and run: %.3f s (target: under %.1f s): %s\n", warm_median, kWarmTarget,
              warm_median < kWarmTarget ? "met" : "NOT met");
  return 0;
}
