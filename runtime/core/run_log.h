// The run log: "ErrorLog.txt" in the temporary folder. Start-up traces, the
// END report and subsystem messages are appended to it as plain text; every
// caller supplies its own line ending.
#pragma once

#include <string>

// Appends text to the run log (a null text is written as "NULL"). Up to five
// attempts to open the file are made; after that the text is dropped.
void WriteLog(const char* text);
// printf-style convenience over WriteLog.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The full path of the run log.
std::string RunLogPath();
// Deletes the run log (or a folder that took its name).
void DeleteRunLog();
