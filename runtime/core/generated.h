// Helpers for translated programs: routine frames, variable registration and
// the per-statement line hook, in the shape the translator emits them.
//
// A routine of module 1 with a parameter and two locals:
//
//   void createBox(Number id) {
//     VLM_ROUTINE();             // call depth + 1, a local variable table and
//                                // the routine's record for the debugger
//     VLM_PARAM(id);             // registered as "id" (kept as passed)
//     Number i;
//     VLM_LOCAL(i);              // set to 0, registered as "i"
//     BasicArray<Number> s;
//     VLM_LOCAL(s);
//     VLM_LINE(1, 12);           // LineHook(1, 12, this routine's locals)
//     DimArray(s, 10);
//     VLM_LINE(1, 13);
//     ArrayElement(s, 3) = id;
//   }                            // locals removed (reverse order), depth - 1,
//                                // also when an exception leaves the routine
//
// Globals (module scope or inside the global set-up routine):
//
//   Number z;
//   BasicString test_Str;
//   VLM_GLOBAL(z);               // registered now, removed at exit
//   VLM_GLOBAL(test_Str);
//
// VLM_GLOBAL expands to a static guard: at namespace scope it registers during
// static initialisation; inside the global set-up routine it registers when
// that statement runs. Either way the guard removes the entry when static
// storage is destroyed at exit, in reverse order. RegisterGlobal and
// UnregisterGlobal do the same by hand for set-up/teardown pairs.
//
// Registered type codes follow the C++ type (VariableTypeOf): Number 0,
// BasicString 1, BasicArray<Number> 2, BasicArray<int32_t> 3,
// BasicArray<BasicString> 4, int32_t 5, RecordArrayView 6.
//
// Records: a record variable registers each field under "name.field" with
// the macros above (VLM_LOCAL_AS(p.x, "p.x"); text fields "p.label_Str").
// An array of records registers once, with the translator's static field
// table of the record type:
//
//   struct Point { Number x; Number y; BasicString label_Str; };
//   const RecordField kPointFields[] = {
//       {"x", kVariableNumber, offsetof(Point, x)},
//       {"y", kVariableNumber, offsetof(Point, y)},
//       {"label_Str", kVariableString, offsetof(Point, label_Str)}};
//   BasicArray<Point> points;
//   VLM_LOCAL_RECORD_ARRAY_AS(points, "points", kPointFields, 3);
//
// The entry's address is a RecordArrayView declared beside the array by the
// macro; it lives exactly as long as the registration.
//
// Builds without the line hook still record where they are, for failure
// reports: VLM_STATEMENT(module, line) before each statement only stores the
// position.
#pragma once

#include <cstdint>

#include "core/basic_array.h"
#include "core/basic_string.h"
#include "core/debug.h"

template <class T>
struct VariableTypeOf;
template <>
struct VariableTypeOf<double> {
  static constexpr int32_t value = kVariableNumber;
};
template <>
struct VariableTypeOf<BasicString> {
  static constexpr int32_t value = kVariableString;
};
template <>
struct VariableTypeOf<BasicArray<double>> {
  static constexpr int32_t value = kVariableNumberArray;
};
template <>
struct VariableTypeOf<BasicArray<int32_t>> {
  static constexpr int32_t value = kVariableIntArray;
};
template <>
struct VariableTypeOf<BasicArray<BasicString>> {
  static constexpr int32_t value = kVariableStringArray;
};
template <>
struct VariableTypeOf<int32_t> {
  static constexpr int32_t value = kVariableInt;
};
template <>
struct VariableTypeOf<RecordArrayView> {
  static constexpr int32_t value = kVariableRecordArray;
};

// The view the registry holds for an array of records of type T, described
// by fields[0..count).
template <class T>
constexpr RecordArrayView RecordArrayOf(const BasicArray<T>& array, const RecordField* fields,
                                        int32_t count) {
  return RecordArrayView{&array, static_cast<int32_t>(sizeof(T)), count, fields};
}

// The frame of one routine invocation: raises the call depth and holds the
// routine's local variable table for as long as the routine runs. Tables
// come from a pool (one per call depth), so deep recursion costs no stack.
// Each frame also fills its routine's record (RoutineRecord: the name, the
// table and where it was called from) for a debugger's call stack.
class RoutineFrame {
 public:
  explicit RoutineFrame(const char* name = "?");
  ~RoutineFrame();
  RoutineFrame(const RoutineFrame&) = delete;
  RoutineFrame& operator=(const RoutineFrame&) = delete;

  VariableTable* Locals() const { return table_; }

  // Registers a parameter as it was passed.
  template <class T>
  T& Param(const char* name, T& variable) {
    AddVariable(*table_, name, VariableTypeOf<T>::value, &variable);
    return variable;
  }
  // Sets a local to 0 (empty) and registers it.
  template <class T>
  T& Local(const char* name, T& variable) {
    variable = T();
    AddVariable(*table_, name, VariableTypeOf<T>::value, &variable);
    return variable;
  }
  // Empties a local array of records and registers its view.
  template <class T>
  void LocalRecordArray(const char* name, BasicArray<T>& array, RecordArrayView& view) {
    array = BasicArray<T>();
    AddVariable(*table_, name, kVariableRecordArray, &view);
  }

 private:
  VariableTable* table_;
};

// Registers a global variable under name (type code from its C++ type).
template <class T>
void RegisterGlobal(const char* name, T& variable) {
  AddVariable(GlobalVariables, name, VariableTypeOf<T>::value, &variable);
}
// Removes a global variable's registration.
template <class T>
void UnregisterGlobal(T& variable) {
  RemoveVariable(GlobalVariables, &variable);
}

// Registers a global for the lifetime of the guard.
class GlobalVariable {
 public:
  template <class T>
  GlobalVariable(const char* name, T& variable) : address_(&variable) {
    RegisterGlobal(name, variable);
  }
  ~GlobalVariable() { RemoveVariable(GlobalVariables, address_); }
  GlobalVariable(const GlobalVariable&) = delete;
  GlobalVariable& operator=(const GlobalVariable&) = delete;

 private:
  void* address_;
};

// Pastes two tokens after expanding them (for names made from __LINE__ or __COUNTER__).
#define VLM_CONCAT_INNER(a, b) a##b
#define VLM_CONCAT(a, b) VLM_CONCAT_INNER(a, b)

// Opens the routine's frame; the other macros of a routine refer to it.
#define VLM_ROUTINE() RoutineFrame vlm_frame_(__func__)
// Registers a parameter under its own name.
#define VLM_PARAM(var) vlm_frame_.Param(#var, var)
// Sets a local to 0 (empty) and registers it under its own name.
#define VLM_LOCAL(var) vlm_frame_.Local(#var, var)
// Registered under another name than the C++ identifier.
#define VLM_PARAM_AS(var, name) vlm_frame_.Param(name, var)
#define VLM_LOCAL_AS(var, name) vlm_frame_.Local(name, var)
// Before every statement of a routine.
#define VLM_LINE(module, line) LineHook((module), (line), vlm_frame_.Locals())
// Before a statement outside any routine.
#define VLM_LINE_NO_LOCALS(module, line) LineHook((module), (line), nullptr)
// Registers a global for the rest of the run (see above); _AS under another name.
#define VLM_GLOBAL(var) \
  static const GlobalVariable VLM_CONCAT(vlm_global_, __COUNTER__)(#var, var)
#define VLM_GLOBAL_AS(var, name) \
  static const GlobalVariable VLM_CONCAT(vlm_global_, __COUNTER__)(name, var)

// An array of records (BasicArray<Record>) registered as one entry under
// name, its elements described by fields[0..count): a parameter as passed, a
// local emptied first, a global for the rest of the run.
#define VLM_PARAM_RECORD_ARRAY_AS(var, name, fields, count) \
  VLM_RECORD_ARRAY_PARAM_(var, name, fields, count, VLM_CONCAT(vlm_view_, __COUNTER__))
#define VLM_LOCAL_RECORD_ARRAY_AS(var, name, fields, count) \
  VLM_RECORD_ARRAY_LOCAL_(var, name, fields, count, VLM_CONCAT(vlm_view_, __COUNTER__))
#define VLM_GLOBAL_RECORD_ARRAY_AS(var, name, fields, count) \
  VLM_RECORD_ARRAY_GLOBAL_(var, name, fields, count, VLM_CONCAT(vlm_view_, __COUNTER__))
// The three above with their view's name made once.
#define VLM_RECORD_ARRAY_PARAM_(var, name, fields, count, view) \
  RecordArrayView view = RecordArrayOf(var, fields, count);    \
  vlm_frame_.Param(name, view)
#define VLM_RECORD_ARRAY_LOCAL_(var, name, fields, count, view) \
  RecordArrayView view = RecordArrayOf(var, fields, count);    \
  vlm_frame_.LocalRecordArray(name, var, view)
#define VLM_RECORD_ARRAY_GLOBAL_(var, name, fields, count, view) \
  static RecordArrayView view = RecordArrayOf(var, fields, count); \
  static const GlobalVariable VLM_CONCAT(view, _guard)(name, view)

// Before every statement of a build without the line hook: records the
// position only, so that failure reports can name the statement.
#define VLM_STATEMENT(module, line) NoteLine((module), (line))
