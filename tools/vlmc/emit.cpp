// vlmc's emitter: the files of a checked program in the form the runtime's
// translated programs take: the header (records, globals, DATA tables and
// the routines' signatures), the set-up file (settings, globals and their
// registration, the call-by-name table and main) and one file per module
// with its routines. Expressions and statements have their own files.
#include "emit.h"

#include "emit_internal.h"
#include "names.h"

namespace vlmc {
namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The registry's type code of a field or variable that is not a record.
const char* TypeCode(const Variable& v) {
  if (v.isArray) return v.record ? "kVariableRecordArray" : v.isString ? "kVariableStringArray" : v.isInt ? "kVariableIntArray" : "kVariableNumberArray";
  return v.isString ? "kVariableString" : v.isInt ? "kVariableInt" : "kVariableNumber";
}

// The rows of a TYPE's field table (FieldTable): a record inside it counts
// its own rows, so the count is what the debugger reads the table by.
size_t FieldRows(const RecordType& type) {
  size_t rows = 0;
  for (const Variable& f : type.fields) rows += f.record && !f.isArray ? FieldRows(*f.record) : 1;
  return rows;
}

}  // namespace

std::string CppElementType(const Variable& v) {
  if (v.record) return v.record->cpp;
  return v.isString ? "BasicString" : v.isInt ? "int32_t" : "Number";
}

std::string CppType(const Variable& v) {
  return v.isArray ? "BasicArray<" + CppElementType(v) + ">" : CppElementType(v);
}

std::vector<OutputFile> Emitter::Run() {
  std::vector<std::string> moduleBodies(tree_.modules.size());
  for (size_t m = 0; m < tree_.modules.size(); ++m) {
    if (m == 0) moduleBodies[m] += MainProgram();
    for (const auto& f : tree_.functions)
      if (f->module == static_cast<int>(m)) moduleBodies[m] += Routine(*f);
  }
  const std::string settings = Settings();
  std::vector<std::string> moduleNames;
  for (const Module& m : tree_.modules) moduleNames.push_back(m.name);
  const std::vector<std::string> names = OutputNames(options_.program, moduleNames);
  std::vector<OutputFile> files;
  files.push_back({names[0], Header()});
  files.push_back({names[1], ProgramFile(names[0], settings)});
  for (size_t m = 0; m < tree_.modules.size(); ++m)
    files.push_back({names[2 + m], ModuleFile(m, names[0], moduleBodies[m])});
  return files;
}

// ------------------------------------------------------------------ routines

std::string Emitter::ParamType(const Declaration& p) {
  const Variable& v = *p.variable;
  if (v.isArray || v.record) return CppType(v) + "& ";
  return std::string(v.isString ? "BasicString" : "Number") + (p.byRef ? "& " : " ");
}

std::string Emitter::Signature(const Function& f) {
  std::string text = !f.returnsValue || f.isSub ? "void " : IsStringName(f.name) ? "BasicString " : "Number ";
  text += f.cpp + "(";
  for (size_t k = 0; k < f.params.size(); ++k) text += (k ? ", " : "") + ParamType(f.params[k]) + f.params[k].variable->cpp;
  return text + ")";
}

std::string Emitter::DeclaredType(const Declare& decl) {
  std::string text = std::string(IsStringName(decl.name) ? "const char*" : "int32_t") + " (*vlm_declared_" + decl.cpp + ")(";
  for (size_t k = 0; k < decl.params.size(); ++k)
    text += (k ? ", " : "") + std::string(IsStringName(decl.params[k].name) ? "const char*" : "int32_t");
  return text + ")";
}

// One line per field of a record reached through access: format has $A for
// the field's storage and $N for its registered name ("p.pos.x").
void Emitter::RecordLeaves(std::string& out, const std::string& format, const std::string& access,
                           const std::string& name, const RecordType& type) {
  for (const Variable& field : type.fields) {
    const std::string path = access + "." + field.cpp, registered = name + "." + field.name;
    if (field.record && !field.isArray) {
      RecordLeaves(out, format, path, registered, *field.record);
      continue;
    }
    std::string line = format;
    if (field.record && format.find("VLM_") == std::string::npos) continue;  // globals: not registered
    if (field.record) line = "  VLM_PARAM_RECORD_ARRAY_AS($A, $N, vlm_fields_" + field.record->cpp + ", " +
                             std::to_string(FieldRows(*field.record)) + ");\n";
    for (size_t at; (at = line.find("$A")) != std::string::npos;) line.replace(at, 2, path);
    for (size_t at; (at = line.find("$N")) != std::string::npos;) line.replace(at, 2, CString(registered));
    out += line;
  }
}

// A parameter's or local's registration (macro VLM_PARAM or VLM_LOCAL): a
// record field by field, an array of records as one entry with its layout.
std::string Emitter::Registration(const char* macro, const Variable& v, const std::string& access) {
  std::string out;
  if (v.record && !v.isArray) {
    RecordLeaves(out, "  VLM_PARAM_AS($A, $N);\n", access, v.name, *v.record);
    return out;
  }
  if (v.record)
    return std::string("  ") + macro + "_RECORD_ARRAY_AS(" + access + ", " + CString(v.name) + ", vlm_fields_" +
           v.record->cpp + ", " + std::to_string(FieldRows(*v.record)) + ");\n";
  if (v.cpp == v.name) return std::string("  ") + macro + "(" + v.cpp + ");\n";
  return std::string("  ") + macro + "_AS(" + v.cpp + ", " + CString(v.name) + ");\n";
}

std::string Emitter::LocalDeclaration(const Variable& v) {
  return "  " + CppType(v) + " " + v.cpp + ";\n" + Registration("VLM_LOCAL", v, v.cpp);
}

std::string Emitter::Routine(const Function& f) {
  function_ = &f;
  module_ = f.module;
  std::string head = "\n" + Signature(f) + " {\n  VLM_ROUTINE();\n";
  for (const Declaration& p : f.params) head += Registration("VLM_PARAM", *p.variable, p.variable->cpp);
  for (const Variable* v : f.locals) head += LocalDeclaration(*v);
  std::string body;
  EmitBlock(body, f.body, 1);
  if (f.returnsValue && !f.isSub) body += IsStringName(f.name) ? "  return BasicString();\n" : "  return 0;\n";
  function_ = nullptr;
  return head + body + "}\n";
}

std::string Emitter::MainProgram() {
  module_ = 0;
  std::string head = "\n// The main program.\nvoid mainProgram() {\n  VLM_ROUTINE();\n";
  for (const Variable* v : tree_.modules[0].locals) head += LocalDeclaration(*v);
  std::string body;
  EmitBlock(body, tree_.modules[0].main, 1);
  return head + body + "}\n";
}

std::string Emitter::Settings() {
  std::string out = "void settings() {\n";
  if (!tree_.settings.empty()) out += "  ::ProjectSettings& s = ::Settings();\n";
  for (const Setting& setting : tree_.settings) {
    const Expr& value = *setting.value;
    out += "  s." + setting.key + " = " + (value.type == Type::String ? CString(value.text) : AsInt(value)) + ";\n";
  }
  // Failure reports name a statement's module by its file.
  out += "  static const char* const vlm_modules[] = {";
  for (size_t m = 0; m < tree_.modules.size(); ++m) out += (m ? ", " : "") + CString(BaseName(tree_.modules[m].name));
  out += "};\n  ::SetModuleNames(vlm_modules, " + std::to_string(tree_.modules.size()) + ");\n";
  for (const Declare& decl : tree_.declares)
    out += "  ::RegisterDeclare(" + CString(decl.library) + ", " + CString(decl.entry) +
           ", reinterpret_cast<void*>(&vlm_declared_" + decl.cpp + "));\n";
  if (!tree_.declares.empty()) headers_.insert("external/declared.h");
  return out + "}\n";
}

// ------------------------------------------------------------------ records and DATA

// Each TYPE after the ones it holds, and the field tables the debugger
// reads arrays of records by.
std::string Emitter::Records() {
  std::string out;
  for (const RecordType* t : tree_.typeOrder) {
    out += "struct " + t->cpp + " {\n";
    std::string dims;
    for (const Variable& f : t->fields) {
      out += "  " + CppType(f) + " " + f.cpp + (f.isArray || f.isString || f.record ? ";\n" : " = 0;\n");
      if (f.isArray) {
        dims += " ::DimArray(" + f.cpp;
        for (int32_t size : f.sizes) dims += ", " + std::to_string(size);
        dims += ");";
      }
    }
    if (!dims.empty()) out += "  " + t->cpp + "() {" + dims + " }\n";
    out += "};\n\n";
    std::string fields;
    size_t count = 0;
    FieldTable(fields, *t, "", "", count);
    out += "inline const ::RecordField vlm_fields_" + t->cpp + "[] = {\n" + fields + "};\n";
    out += "inline const ::RecordLayout vlm_layout_" + t->cpp + " = {static_cast<int32_t>(sizeof(" + t->cpp + ")), " +
           std::to_string(count) + ", vlm_fields_" + t->cpp + "};\n\n";
  }
  return out;
}

// The rows of a TYPE's field table: a record inside it listed flat
// ("inner.x"), its offset the inner record's plus the field's.
void Emitter::FieldTable(std::string& out, const RecordType& type, const std::string& offset, const std::string& prefix,
                         size_t& count) {
  for (const Variable& f : type.fields) {
    const std::string at = offset + "offsetof(" + type.cpp + ", " + f.cpp + ")";
    if (f.record && !f.isArray) {
      FieldTable(out, *f.record, at + " + ", prefix + f.name + ".", count);
      continue;
    }
    out += "    {" + CString(prefix + f.name) + ", " + TypeCode(f) + ", static_cast<int32_t>(" + at + ")" +
           (f.record ? ", &vlm_layout_" + f.record->cpp : std::string()) + "},\n";
    ++count;
  }
}

// An array element passed to a reference parameter (see ReferencePath).
std::string Emitter::ElementReference() {
  return "// An array element passed by reference: the routine works on a copy, written back when the\n"
         "// statement's expression ends if the element is still there, so a routine that resizes the\n"
         "// array leaves nothing pointing into freed storage.\n"
         "template <class T>\nclass vlm_element_ref {\n public:\n"
         "  vlm_element_ref(::BasicArray<T>& a, int32_t i0, int32_t i1 = 0, int32_t i2 = 0, int32_t i3 = 0)\n"
         "      : a_(a), value_(::ArrayElement(a, i0, i1, i2, i3)), i_{i0 < 0 ? i0 + a.d1 : i0, i1, i2, i3} {}\n"
         "  vlm_element_ref(const vlm_element_ref&) = delete;\n"
         "  vlm_element_ref& operator=(const vlm_element_ref&) = delete;\n"
         "  ~vlm_element_ref() {\n"
         "    const int32_t sizes[4] = {a_.d1, a_.d2 != 0 ? a_.d2 : 1, a_.d3 != 0 ? a_.d3 : 1, a_.d4 != 0 ? a_.d4 : 1};\n"
         "    for (int k = 0; k < 4; ++k)\n"
         "      if (a_.data == nullptr || i_[k] < 0 || i_[k] >= sizes[k]) return;\n"
         "    ::ArrayElement(a_, i_[0], i_[1], i_[2], i_[3]) = value_;\n"
         "  }\n"
         "  T& get() { return value_; }\n\n private:\n"
         "  ::BasicArray<T>& a_;\n  T value_;\n  int32_t i_[4];\n};\n\n";
}

// The DATA values and one table per place RESTORE starts from: the first
// value (table 0) and each label a RESTORE names.
std::string Emitter::DataTables(bool definitions) {
  const size_t tables = tree_.restorePoints.size() + 1;
  if (!definitions) {
    std::string out;
    for (size_t k = 0; k < tables; ++k) out += "extern ::DataTable vlm_data_" + std::to_string(k) + ";\n";
    return out;
  }
  const size_t n = tree_.data.size();
  std::string out = "// The program's DATA values, and where RESTORE starts reading them.\n";
  if (n > 0) {
    out += "const ::DataEntry vlm_data_values[] = {\n";
    for (const ExprPtr& e : tree_.data)
      out += "    {" + (e->kind == Expr::String ? "0.0, " + CString(e->text) : NumberLiteral(*e) + ", nullptr") + "},\n";
    out += "};\n";
  }
  for (size_t k = 0; k < tables; ++k) {
    const size_t start = k == 0 ? 0 : static_cast<size_t>(tree_.restorePoints[k - 1]->dataIndex);
    out += "::DataTable vlm_data_" + std::to_string(k) + " = {" +
           (n > 0 ? "vlm_data_values + " + std::to_string(start) : std::string("nullptr")) + ", " +
           std::to_string(n - start) + ", 0};\n";
  }
  return out + "\n";
}

// The globals' registration in the set-up routine, or its undoing in the
// teardown (in reverse order, each then emptied).
std::string Emitter::GlobalRegistrations(bool registering) {
  std::string out;
  const auto& globals = tree_.globals;
  for (size_t k = 0; k < globals.size(); ++k) {
    const Variable& v = *globals[registering ? k : globals.size() - 1 - k].variable;
    if (v.record && !v.isArray) {
      RecordLeaves(out, registering ? "  ::RegisterGlobal($N, $A);\n" : "  ::UnregisterGlobal($A);\n", v.cpp, v.name,
                   *v.record);
    } else if (v.record) {
      const std::string view = "vlm_view_" + v.cpp;
      out += registering ? "  " + view + " = ::RecordArrayOf(" + v.cpp + ", vlm_fields_" + v.record->cpp + ", " +
                               std::to_string(FieldRows(*v.record)) + ");\n  ::RegisterGlobal(" + CString(v.name) +
                               ", " + view + ");\n"
                         : "  ::UnregisterGlobal(" + view + ");\n";
    } else {
      out += registering ? "  ::RegisterGlobal(" + CString(v.name) + ", " + v.cpp + ");\n"
                         : "  ::UnregisterGlobal(" + v.cpp + ");\n";
    }
  }
  if (registering) return out;
  for (auto g = globals.rbegin(); g != globals.rend(); ++g) {
    const Variable& v = *g->variable;
    if (v.isArray || v.isString || v.record) out += "  " + v.cpp + " = " + CppType(v) + "();\n";
  }
  return out;
}

// ------------------------------------------------------------------ files

std::string Emitter::Header() {
  const std::string& p = options_.program;
  std::string out = "// " + p + ", translated by vlmc: the program's globals and routines. Do not edit.\n";
  out += "#pragma once\n\n#include <cmath>\n#include <cstdint>\n#include <cstdio>\n\n#include \"core/core.h\"\n";
  out += "#include \"core/vlmc_support.h\"\n#include \"host/host.h\"\n";
  for (const std::string& h : headers_)
    if (h.rfind("core/", 0) != 0 && h != "host/host.h") out += "#include \"" + h + "\"\n";
  out += "\nnamespace " + p + " {\n\n";
  if (!tree_.typeOrder.empty()) out += "// The program's TYPEs.\n" + Records();
  if (elementReference_) out += ElementReference();
  if (!tree_.globals.empty()) out += "// Globals, in registration order.\n";
  for (const Declaration& g : tree_.globals) out += "extern " + CppType(*g.variable) + " " + g.variable->cpp + ";\n";
  for (const Declare& decl : tree_.declares) out += "extern " + DeclaredType(decl) + ";\n";
  if (usesData_) out += DataTables(false);
  out += "\nvoid settings();\nvoid globalSetup();\nvoid globalTeardown();\nvoid mainProgram();\n";
  out += "extern const ::RoutineEntry kCallByName[];\n\n";
  for (const auto& f : tree_.functions) out += Signature(*f) + ";\n";
  out += "\n}  // namespace " + p + "\n";
  return out;
}

std::string Emitter::ProgramFile(const std::string& header, const std::string& settings) {
  const std::string& p = options_.program;
  std::string out = "// " + p + ", translated by vlmc: settings, globals and their registration, the call-by-name\n"
                    "// table" + std::string(options_.emitMain ? " and the process entry" : "") + ". Do not edit.\n";
  out += "#include \"" + header + "\"\n";
  if (options_.emitMain) out += "#include \"host/runtime.h\"\n";
  out += "\nnamespace " + p + " {\n\n";
  for (const Declaration& g : tree_.globals) {
    const Variable& v = *g.variable;
    out += CppType(v) + " " + v.cpp + (v.isArray || v.isString || v.record ? ";\n" : " = 0;\n");
    if (v.isArray && v.record) out += "::RecordArrayView vlm_view_" + v.cpp + ";\n";
  }
  for (const Declare& decl : tree_.declares) out += DeclaredType(decl) + " = nullptr;\n";
  if (usesData_) out += "\n" + DataTables(true);
  out += "\n" + settings + "\nvoid globalSetup() {\n  VLM_ROUTINE();\n" + GlobalRegistrations(true);
  if (usesData_) out += "  ::RestoreData(&vlm_data_0);\n";
  out += "}\n\nvoid globalTeardown() {\n  VLM_ROUTINE();\n" + GlobalRegistrations(false);
  out += "}\n\n// The program's parameterless routines, callable by name.\nconst ::RoutineEntry kCallByName[] = {\n";
  for (const auto& f : tree_.functions)
    if (f->params.empty() && (!f->returnsValue || f->isSub)) out += "    {&" + f->cpp + ", " + CString(f->name) + "},\n";
  out += "    {nullptr, nullptr},\n};\n\n}  // namespace " + p + "\n";
  if (options_.emitMain)
    out += "\nint main(int argc, char** argv) {\n  const ::Application app{&" + p + "::settings, &" + p +
           "::globalSetup, &" + p + "::globalTeardown, &" + p + "::mainProgram, " + p +
           "::kCallByName};\n  return ::RunApplication(argc, argv, app);\n}\n";
  return out;
}

std::string Emitter::ModuleFile(size_t m, const std::string& header, std::string& body) {
  const std::string& p = options_.program;
  std::string text = "// Module " + std::to_string(m) + " of " + p + ", translated by vlmc from " +
                     ModuleStem(tree_.modules[m].name) + ".bas: do not edit.\n#include \"" + header +
                     "\"\n\nnamespace " + p + " {\n";
  text.reserve(text.size() + body.size() + 64);
  text += body;
  std::string().swap(body);
  text += "\n}  // namespace " + p + "\n";
  return text;
}

}  // namespace vlmc

namespace vlmc {

std::vector<OutputFile> Emit(const ProgramTree& tree, const Options& options) { return Emitter(tree, options).Run(); }

}  // namespace vlmc
