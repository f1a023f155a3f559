// The translator's line map of a program (<program>.vlmmap beside the
// executable): for every module its BASIC file and, for every statement
// number, the line and column where the statement starts; and the C++ names
// of the program's routines. The debugger speaks statement numbers; people
// speak source lines.
//
//   {"format": "vlmmap 1", "program": "demo",
//    "modules": [{"module": 0, "file": "/src/main.bas",
//                 "statements": [[1, 4, 3], [2, 5, 3]]}],          [number, line, column]
//    "routines": [{"name": "title$", "cpp": "title_Str", "module": 1}]}
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dap {

struct StatementPlace {
  int32_t number = 0;
  int32_t line = 0;    // 1-based
  int32_t column = 0;  // 1-based
};

struct ModuleMap {
  int32_t module = 0;
  std::string file;
  std::vector<StatementPlace> statements;  // ordered by number
};

// Where a requested source line lands.
struct LineMatch {
  bool found = false;
  int32_t module = 0;
  int32_t statement = 0;
  int32_t line = 0;  // the statement's own line (the requested one or the next with a statement)
  int32_t column = 0;
};

class LineMap {
 public:
  // Reads the map's JSON text; false with a message for damaged or foreign text.
  bool Parse(std::string_view text, std::string* error);
  bool Load(const std::string& path, std::string* error);

  bool empty() const { return modules_.empty(); }
  const std::vector<ModuleMap>& modules() const { return modules_; }
  // The module of a source file (paths compared as given and with links resolved), or null.
  const ModuleMap* ModuleOfFile(const std::string& path) const;
  const ModuleMap* Module(int32_t module) const;
  // The place of a statement, or null when the map has none.
  const StatementPlace* Place(int32_t module, int32_t statement) const;
  // The first statement of that file at or after the line.
  LineMatch Resolve(const std::string& path, int32_t line) const;
  // The statements whose lines lie in [first, last].
  std::vector<StatementPlace> StatementsInLines(const std::string& path, int32_t first, int32_t last) const;
  // The BASIC name of a routine from its C++ name; empty when unknown.
  std::string RoutineName(const std::string& cpp) const;

 private:
  std::vector<ModuleMap> modules_;
  std::map<std::string, std::string> routines_;  // C++ name -> BASIC name
};

}  // namespace dap
