// The files subsystem's part of program end.
#include <cstdlib>

#include "files/files.h"
#include "files/files_internal.h"

void FlushFileStores() {
  ReleaseResolverResult(MemoryResolver());
  ReleaseResolverResult(DiskResolver());
}

namespace files_internal {

void EnsureExitFlush() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  std::atexit(FlushFileStores);
}

}  // namespace files_internal
