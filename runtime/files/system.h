// Small system services: platform facts, the process environment, the
// line-indexed text-file store and the INI store.
//
// Failures never throw: they give the texts "NO_DATA" / "NO_FILE" or a
// default and set LastErrorCode (3: the file cannot be read, 7: a line index
// outside 0-255). Both stores are written back when another file is selected
// and by FlushFileStores() at program end.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// Facts about the platform by key. The key is upper-cased in place first (the
// caller's string changes too). Keys: "" ("LINUX"), "DEVICE", "GLEXT:<name>",
// "ID", "TIME", "UTCTIME", "BATTERY", "COMPILED", "HOSTID", "VERSION",
// "LOCALE", "DOCUMENTS", "APPDATA", "TEMP"; anything else gives "NO_DATA".
BasicString PlatformInfo(BasicString& key);

// The value of a variable, empty when unset. An empty name gives every
// entry as "NAME=value\n".
BasicString GetEnvironment(const BasicString& name);
// Sets NAME=value; an empty value removes the variable.
void PutEnvironment(const BasicString& name, const BasicString& value);

// Line n (0-255) of a text file, trailing control characters removed;
// "NO_DATA" for an empty or missing line (LastErrorCode 7 when n is outside
// 0-255), "NO_FILE" when the file cannot be read (LastErrorCode 3).
BasicString ReadFileLine(const BasicString& file, int32_t line);
// Replaces line n of the cached file (a missing file is fine): 0, or 7 for
// n outside 0-255 (also put in LastErrorCode).
int32_t WriteFileLine(const BasicString& file, int32_t line, const BasicString& text);

// Writes back the open INI file if it changed, then loads the named file.
// An empty name closes the store.
void IniOpen(const BasicString& file);
// The value, or defaultValue when the section or key is missing. Section
// names and keys compare without regard to letter case.
BasicString IniGet(const BasicString& section, const BasicString& key, const BasicString& defaultValue);
// Sets a value, creating section and key as needed. An empty key removes the
// section: the last section takes its place.
void IniPut(const BasicString& section, const BasicString& key, const BasicString& value);
