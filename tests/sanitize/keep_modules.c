/* Sanitizer build only: system libraries stay loaded until the process ends. */
/*
 * SDL unloads the GL and EGL libraries at shutdown, and with them Mesa's driver. What those kept
 * in their own globals until then is reported by the leak checker as lost, from an "unknown
 * module" whose frames can be neither read nor suppressed. Linked into every executable of the
 * sanitizer build, this definition takes the place of the C library's for all callers: a library
 * of the system (under /usr or /lib) is never unloaded, so the leak checker still sees that
 * memory as held by the library. Libraries of the build itself (the tests' own shared objects)
 * are unloaded as usual, so tests of unloading see what they would see elsewhere.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <string.h>

/* The C library declares the handle never null; a caller may still pass one, and the check
   stays (programs built with -Werror link this file too). */
#pragma GCC diagnostic ignored "-Wnonnull-compare"

int dlclose(void* handle) {
  struct link_map* map = NULL;
  if (handle != NULL && dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != NULL && map->l_name != NULL) {
    const char* name = map->l_name;
    if (strncmp(name, "/usr/", 5) != 0 && strncmp(name, "/lib", 4) != 0 && name[0] == '/') {
      int (*real)(void*) = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
      if (real != NULL) return real(handle);
    }
  }
  return 0;
}
