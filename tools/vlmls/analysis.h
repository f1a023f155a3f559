// vlmls' analysis of a program: the translator's own front end (tokenizer,
// parser and checker of vlmc_front, never the emitter) run over the modules,
// and what the editor needs of the result: the errors with their places, and
// an index of the program's names (routines, types, fields, globals,
// constants, parameters, locals, labels) with every place each is written,
// the runtime operations and built-ins called, and the routines' extents.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vlmc.h"

namespace vlmc {
struct Binding;
struct Builtin;
struct ProgramTree;
}  // namespace vlmc

namespace vlmls {

// A place in a module: 1-based line, 1-based byte column, length in bytes.
struct Place {
  int module = 0;
  int line = 0;
  int column = 0;
  int length = 0;
};

struct Problem {
  Place at;
  std::string message;
  bool warning = false;  // the translation goes on (vlmc's "warning: ...")
  bool hasNote = false;
  Place noteAt;
  std::string note;
};

enum class SymbolKind { Function, Sub, Declare, Type, Field, Global, Constant, Parameter, Local, Label };

struct Symbol {
  std::string name;
  SymbolKind kind = SymbolKind::Global;
  Place at;                // where it is defined (a main-program variable: its first assignment)
  std::string detail;      // as BASIC writes it: "FUNCTION area(w, h)", "GLOBAL names$[]", ...
  int container = -1;      // the routine of a parameter or local, the TYPE of a field
  int endLine = 0;         // routines and TYPEs: the line of their END (0: unknown)
  std::string recordType;  // a variable or field holding records (or an array of them): its TYPE
  bool isArray = false;
  std::vector<std::string> params;  // routines and declared functions: each parameter as written
  std::vector<Place> uses;  // every other place it is written, in module and line order
};

// A name written at a place: a program symbol, a runtime operation or a built-in.
struct Occurrence {
  int line = 0;
  int column = 0;
  int length = 0;
  int symbol = -1;                          // index into Analysis::symbols, or -1
  const vlmc::Binding* binding = nullptr;   // a runtime operation (its first overload)
  const vlmc::Builtin* builtin = nullptr;
  bool definition = false;
};

struct Analysis {
  std::vector<Problem> problems;  // in module and line order
  bool checked = false;           // the checker ran: the index is complete
  std::vector<Symbol> symbols;
  std::vector<std::vector<Occurrence>> occurrences;  // per module, in line and column order

  // The name at a 1-based line and byte column of a module (null when none).
  const Occurrence* At(int module, int line, int column) const;
  // The routine whose extent holds the line of the module, or -1.
  int RoutineAt(int module, int line) const;
  // The symbol named so that is visible from that line (locals first), or -1.
  int Visible(const std::string& name, int module, int line) const;

  // Between CheckProgram and IndexProgram: the checked tree and the texts it was read from.
  std::shared_ptr<vlmc::ProgramTree> tree;
  std::vector<vlmc::SourceFile> modules;
  bool indexed = false;
};

// The routine (FUNCTION or SUB) among the symbols whose extent holds the line of the module, or -1.
int RoutineAt(const std::vector<Symbol>& symbols, int module, int line);

// The front end over the modules (module 0 first): the problems, and the
// checked tree kept for IndexProgram. Never throws on bad input.
Analysis CheckProgram(const std::vector<vlmc::SourceFile>& modules);
// The index of a checked program; gives up the tree (freeing a big one takes a
// while: the caller chooses when, after the diagnostics have gone out).
void IndexProgram(Analysis& analysis, std::shared_ptr<vlmc::ProgramTree>* retired = nullptr);
// Both.
Analysis Analyze(const std::vector<vlmc::SourceFile>& modules);

}  // namespace vlmls
