// vlmc's emitter inside: the writer of a checked program's C++, whose
// members are defined by part in emit.cpp (the files, routines, records,
// globals and DATA), emit_expressions.cpp and emit_statements.cpp. It only
// writes: the checker made every choice and found every error.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "syntax.h"
#include "vlmc.h"

namespace vlmc {

std::string Indent(int depth);
std::string NumberLiteral(const Expr& e);
std::string TextLiteral(const Expr& e);
std::string CppElementType(const Variable& v);
std::string CppType(const Variable& v);

class Emitter {
 public:
  Emitter(const ProgramTree& tree, const Options& options) : tree_(tree), options_(options) {}
  std::vector<OutputFile> Run();

 private:
  // ---------------------------------------------------------------- expressions (emit_expressions.cpp)
  std::string Code(const Expr& e);
  std::string AsNumber(const Expr& e);
  std::string AsInt(const Expr& e);
  std::string AsCondition(const Expr& e);
  std::string AsNumberOrText(const Expr& e);
  std::string AsCText(const Expr& e);
  std::string Path(const Expr& e);
  std::string ReferencePath(const Expr& e, bool& wrapped);
  std::string ArrayCode(const Expr& e);
  std::string EachElement(const Stmt& loop);
  std::string Indices(const Expr& e);
  std::string BinaryText(const Expr& e);
  std::string CallText(const Expr& e);
  std::string RoutineCall(const Expr& e);
  std::string RoutineArgument(const Expr& arg, const Declaration& param);
  std::string DeclaredCall(const Expr& e);
  std::string BuiltinCall(const Expr& e);
  std::string RuntimeCall(const Expr& e);
  std::string Argument(const Expr& a, std::string_view kind);

  // ---------------------------------------------------------------- statements (emit_statements.cpp)
  void EmitBlock(std::string& out, const Block& block, int depth);
  void Statement(std::string& out, const Stmt& s, int depth);
  bool SimpleStatement(std::string& out, const Stmt& s, const std::string& in);
  std::string Assignment(const Expr& target, const Expr& value);
  std::string SelfAppend(const Expr& target, const Expr& value);
  std::string Store(const Expr& target, const std::string& number, const std::string& text);
  std::string CallStatement(const Expr& call);
  void If(std::string& out, const Stmt& s, int depth);
  void For(std::string& out, const Stmt& s, int depth);
  void ForEach(std::string& out, const Stmt& s, int depth);
  void Do(std::string& out, const Stmt& s, int depth);
  void LoopBody(std::string& out, const Stmt& s, int depth, const std::string& close);
  int LoopNumber(const Stmt& loop) const;
  void Select(std::string& out, const Stmt& s, int depth);
  std::string Return(const Stmt& s);
  std::string Dim(const Stmt& s, size_t k);
  void Print(std::string& out, const Stmt& s, const std::string& in);
  void Input(std::string& out, const Stmt& s, const std::string& in);
  void Remove(std::string& out, const Stmt& s, const std::string& in);
  std::string Append(const Stmt& s);
  std::string Restore(const Stmt& s);

  // ---------------------------------------------------------------- routines and files (emit.cpp)
  std::string Signature(const Function& f);
  std::string ParamType(const Declaration& p);
  std::string DeclaredType(const Declare& decl);
  void RecordLeaves(std::string& out, const std::string& format, const std::string& access, const std::string& name,
                    const RecordType& type);
  std::string Registration(const char* macro, const Variable& v, const std::string& access);
  std::string LocalDeclaration(const Variable& v);
  std::string Routine(const Function& f);
  std::string MainProgram();
  std::string Settings();
  std::string Records();
  void FieldTable(std::string& out, const RecordType& type, const std::string& offset, const std::string& prefix,
                  size_t& count);
  std::string ElementReference();
  std::string DataTables(bool definitions);
  std::string GlobalRegistrations(bool registering);
  std::string Header();
  std::string ProgramFile(const std::string& header, const std::string& settings);
  std::string ModuleFile(size_t m, const std::string& header, std::string& body);

  const ProgramTree& tree_;
  const Options& options_;
  std::set<std::string> headers_;  // beyond the core and host headers every program includes
  int module_ = 0;
  int loopCount_ = 0;  // numbers the loops' and SELECTs' own names in the order they are written
  const Function* function_ = nullptr;
  std::vector<std::pair<const Stmt*, int>> loops_;  // the loops being written and their numbers
  bool elementReference_ = false;  // a call passes an array element by reference
  bool usesData_ = false;          // READ or RESTORE
};

}  // namespace vlmc
