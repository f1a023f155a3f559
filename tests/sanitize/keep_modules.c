/* Sanitizer build only: shared objects stay loaded until the process ends. */
/*
 * SDL unloads the GL and EGL libraries at shutdown, and with them Mesa's driver. What those kept
 * in their own globals until then is reported by the leak checker as lost, from an "unknown
 * module" whose frames can be neither read nor suppressed. Linked into every executable of the
 * sanitizer build, this definition takes the place of the C library's for all callers, so
 * nothing is unloaded and the leak checker still sees that memory as held by the library.
 */
int dlclose(void* handle) {
  (void)handle;
  return 0;
}
