// Writing a whole file in one step, for savers that build their file in memory.
#pragma once

#include <cstddef>

// Replaces the file with the bytes: they go to a file beside it, reach the
// disk and are renamed over the old one, so the name always holds either the
// old or the new file. A folder part that does not exist as written is
// matched without regard to letter case. Memory-file names are refused
// (memory files are read-only). False on any failure, the old file intact.
bool WriteWholeFileReplacing(const char* name, const void* bytes, size_t size);
