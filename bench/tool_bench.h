// What the editor tools' and the translator's benchmarks share: the BASIC
// module they time, and an editor tool started on two pipes.
#pragma once

#include <unistd.h>

#include <string>

namespace tool_bench {

// A module of about `lines` lines of functions with loops, conditions,
// runtime calls and text expressions, as a game's code has them.
inline std::string SpeedModuleText(int lines) {
  std::string text = "PROJECT ScreenWidth = 640, AppTitle = \"speed\"\nGLOBAL nm, ot[], name$\nDIM ot[100]\n";
  int written = 3;
  for (int f = 0; written < lines; ++f) {
    text += "FUNCTION part" + std::to_string(f) + "(num, r, col)\n  LOCAL i, j, theta, s$\n";
    written += 2;
    for (int k = 0; k < 40 && written < lines - 8; ++k) {
      text += "  FOR i = 0 TO r * 2 STEP 1\n"
              "    theta = 2 * i * 180 / r - 90\n"
              "    IF ot[i] >= 3 AND ot[i] <= 4 THEN AddMeshVertex(r * COS(theta), r * SIN(theta), 0, i / r, 0, col)\n"
              "    s$ = name$ + STR$(INT(theta)) + MID$(\"abc\", 2, 1)\n"
              "  NEXT\n";
      written += 5;
    }
    text += "  RETURN num\nEND FUNCTION\n";
    written += 2;
  }
  return text;
}

// Starts the program at path with its standard input and output on pipes:
// *to writes to it, *from reads from it. The child's id, or -1 without pipes.
inline pid_t StartOnPipes(const char* path, int* to, int* from) {
  int in[2], out[2];
  if (pipe(in) != 0) return -1;
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[1]);
    close(out[0]);
    execl(path, path, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  *to = in[1];
  *from = out[0];
  return pid;
}

}  // namespace tool_bench
