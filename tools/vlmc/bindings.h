// vlmc's table of runtime operations: every public runtime function a BASIC
// program can call by name, with its header and the kinds of its parameters.
#pragma once

namespace vlmc {

struct BindingParam {
  const char* kind;  // num f32 i32 u32 i64 bool str cstr num& i32& f32& str& numarr& strarr& intarr&
  const char* name;
};
struct Binding {
  const char* name;
  const char* header;  // as the program includes it, e.g. "gfx3d/gfx3d.h"
  const char* result;  // void num str cstr
  int required;
  int count;
  BindingParam params[12];
};
extern const Binding kBindings[];
extern const int kBindingCount;

}  // namespace vlmc
