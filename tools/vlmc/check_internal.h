// vlmc's checker inside: the checker of a parsed program, whose members are
// defined by part in check.cpp (program-wide names, routines, settings,
// jumps and the C++ names), check_types.cpp (TYPEs, CONSTs and DATA),
// check_expressions.cpp, check_calls.cpp and check_statements.cpp.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "builtins.h"
#include "diagnostics.h"
#include "syntax.h"

namespace vlmc {

using Scope = std::map<std::string, const Variable*>;

// An argument of a runtime call before the overload is chosen: checked, in
// error, or a name not yet declared (which a written parameter declares).
enum class Arg { Ok, Failed, Undeclared };

// The overload a runtime call takes: the best fit, and the first one that
// takes that many arguments (for the message when none fits).
struct Choice {
  const Binding* best = nullptr;
  const Binding* byCount = nullptr;
  int score = -1;
};

const char* TypeName(Type t);

class Checker {
 public:
  Checker(ProgramTree& tree, Diagnostics& d, const std::string& program, bool stopAtLimit);
  void Run();

 private:
  // True once the checker has reported all it may (stopAtLimit and the diagnostics full).
  bool Done() const { return stopAtLimit_ && d_.Full(); }
  // ---------------------------------------------------------------- program-wide (check.cpp)
  void CollectProgram();
  void CollectFunctions();
  void CollectGlobals();
  bool Spell(const std::string& name, Position at, bool type = false, const Function* routine = nullptr);
  bool Declares(const Function& f, const std::string& name);
  const std::string* OtherSpelling(const std::string& name, Position* at, bool type = false) const;
  void CheckFunction(Function& f);
  void DeclareParam(Function& f, Declaration& p, Scope& locals);
  void DeclareLocals(Function& f, Scope& locals);
  void CheckMain();
  void CheckSettings();
  void CollectLabel(Stmt& s);
  void CheckJumps();
  void CheckArrayUses();
  void NameEverything();

  // ---------------------------------------------------------------- types, constants, DATA (check_types.cpp)
  void CollectTypes();
  void ResolveType(RecordType& t);
  void ResolveField(RecordType& t, FieldDeclaration& decl);
  const RecordType* FindType(const std::string& name, Position at);
  void CollectConstants();
  void FoldConstant(Constant& c);
  bool Fold(const Expr& e, Variable& out);
  bool FoldBinary(const Expr& e, Variable& out);
  bool ConstantInt(Expr& e, const std::string& what, int32_t lo, int32_t hi, int32_t* out);
  void CheckData();

  // ---------------------------------------------------------------- scopes and variables (check_expressions.cpp)
  const Variable* Lookup(const std::string& name) const;
  void UnknownVariable(const Expr& e);
  Variable* NewVariable(const std::string& name, bool isArray, Position at, const RecordType* record = nullptr);
  const Variable* Target(Expr& e, bool isArray, const RecordType* record = nullptr);
  bool RequireNumber(bool ok, const Expr& e, const std::string& what);
  bool RequireString(bool ok, const Expr& e, const std::string& what);
  bool RequireValue(bool ok, const Expr& e, const std::string& what);

  // ---------------------------------------------------------------- expressions (check_expressions.cpp)
  bool Expression(Expr& e, bool allowArray = false);
  bool Name(Expr& e, bool allowArray);
  void Describe(Expr& e, const Variable& v);
  bool Element(Expr& e);
  bool ArrayOf(Expr& e, const Variable*& array);
  bool Field(Expr& e, bool allowArray);
  const Variable* FindField(const Expr& e, const RecordType& type);
  bool Unary(Expr& e);
  bool Binary(Expr& e);
  bool BinaryTypes(Expr& e, const Expr& a, const Expr& b);
  bool WholeArray(Expr& e, const std::string& what);

  // ---------------------------------------------------------------- calls (check_calls.cpp)
  bool ArgCount(const Expr& e, const std::string& name, int minArgs, int maxArgs, const std::string& params);
  bool Call(Expr& e);
  void UnknownOperation(const Expr& e);
  bool Arguments(Expr& e, const std::string& name, const std::vector<Declaration>& params);
  bool Argument(Expr& arg, const Declaration& param, const std::string& what);
  bool ReferenceArgument(Expr& arg, const Declaration& param, const std::string& what);
  bool CallBuiltin(Expr& e, const Builtin& b);
  bool CallRuntime(Expr& e, const std::vector<const Binding*>& overloads);
  Arg RuntimeArgument(Expr& arg);
  Choice ChooseOverload(const Expr& e, const std::vector<const Binding*>& overloads, const std::vector<Arg>& args);
  static int Fit(const Expr& a, std::string_view kind);
  void WrongCount(const Expr& e, const std::vector<const Binding*>& overloads);
  void NoFit(const Expr& e, const Binding& b, const std::vector<Arg>& args);
  bool DeclareWritten(Expr& e, const Binding& b, const std::vector<Arg>& args);

  // ---------------------------------------------------------------- statements (check_statements.cpp)
  void CheckBlock(Block& block);
  void CheckStatement(Stmt& s);
  void CheckLoop(Stmt& s);
  void CheckAssign(Stmt& s);
  bool Assignable(Expr& target, Expr& value, bool declared);
  bool Writable(Expr& target, const char* what);
  void CheckIf(Stmt& s);
  void CheckFor(Stmt& s);
  void CheckForEach(Stmt& s);
  void CheckLoopBody(Stmt& s);
  void ResolveLoopControl(Stmt& s);
  void CheckSelect(Stmt& s);
  bool CaseValue(Expr& e, bool text);
  void CheckReturn(Stmt& s);
  void CheckDim(Stmt& s);
  void CheckDimItem(Stmt& s, Expr& e, Declaration& decl);
  void CheckPrint(Stmt& s);
  void CheckGoto(Stmt& s);
  void CheckRestore(Stmt& s);
  void CheckTargets(Stmt& s);
  void CheckAppend(Stmt& s);
  void CheckRemove(Stmt& s);
  bool ElementFits(const Expr& value, const Variable& array, const std::string& what);

  ProgramTree& tree_;
  Diagnostics& d_;
  std::string program_;
  bool stopAtLimit_;
  std::map<std::string, std::vector<const Binding*>> bindings_;
  std::map<std::string, const Function*> functions_;
  std::map<std::string, const Declare*> declares_;
  std::map<std::string, RecordType*> types_;
  std::map<std::string, Constant*> constants_;
  // Every spelling of a name (upper case -> spellings in the order met) and the routine whose
  // parameters and LOCALs declared it (null elsewhere).
  struct Spelling {
    std::string text;
    Position at;
    const Function* routine;
  };
  std::map<std::string, std::vector<Spelling>> spellings_;
  Scope globals_;
  Scope* locals_ = nullptr;
  const Function* function_ = nullptr;
  std::vector<Stmt*> loops_;
  std::vector<const Block*> blocks_;  // the blocks being checked, outermost first

  struct Place {
    Stmt* stmt;
    const Function* routine;
    std::vector<const Block*> blocks;
  };
  std::map<std::string, Place> labels_;
  std::vector<Place> gotos_;
  std::vector<Stmt*> restores_;
  struct ArrayUse {
    const Variable* array;
    Position at;
    std::string what;
  };
  std::vector<ArrayUse> arrayUses_;
  bool foldFailed_ = false;  // a constant expression used a CONST that failed (reported there)
};

}  // namespace vlmc
