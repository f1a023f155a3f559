// The window events' helpers, shared by the host's files and their tests: where
// a movie lands in the client area, and the file dialogs' filters and command
// lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------- movies

// Where a movie of width x height lands in the client area.
struct MovieGeometry {
  int32_t x = 0, y = 0, width = 0, height = 0;
};
// The centred rectangle, aspect kept, that a movie of width x height fills in the client area.
MovieGeometry FitMovie(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height);

// ---------------------------------------------------------------- file dialog helpers

// One entry of a file-dialog filter: its name and its patterns.
struct FileFilter {
  std::string name;
  std::vector<std::string> patterns;
};
// The filter text as the dialog sees it: at most 1023 bytes, "|" separating
// names and pattern lists; the list ends at an empty entry or a name without
// patterns.
std::vector<FileFilter> ParseFileFilter(const char* filter);
// zenity's arguments for the filters: "--file-filter=Name | *.a *.b" each.
std::vector<std::string> ZenityFilterArguments(const char* filter);
// kdialog's filter argument: "*.a *.b|Name" lines.
std::string KdialogFilterArgument(const char* filter);
// The whole command line for "zenity" or "kdialog", starting in folder.
std::vector<std::string> FileDialogCommand(const std::string& program, bool open, const char* filter,
                                           const std::string& folder);
