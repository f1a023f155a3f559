// vlmdap, the debug adapter of Velmora programs: the Debug Adapter Protocol
// on standard input and output, for a program built from BASIC in debug mode.
//   vlmdap [--stdio]
// Standard error carries the adapter's own complaints; standard output is the
// protocol's alone.
#include <cstdio>
#include <cstring>

#include "session.h"

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--stdio") == 0) continue;
    if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
      std::fprintf(stderr,
                   "usage: vlmdap [--stdio]\n"
                   "Serves the Debug Adapter Protocol on standard input and output for one session.\n"
                   "launch: program, args, cwd, env, stopOnEntry, lineMap; attach: processId, lineMap.\n");
      return 0;
    }
    std::fprintf(stderr, "vlmdap: unknown argument %s (try --help)\n", argv[k]);
    return 2;
  }
  dap::Session session(0, 1);
  return session.Run();
}
