// The runtime operations' reference texts for hover and completion: the
// comments of the face headers, as docs/reference.md shows them, compiled in
// from a table generated at build time (gen_operation_docs.py).
#pragma once

#include <string_view>

namespace vlmls {

struct OperationDoc {
  const char* name;
  const char* header;      // "gfx2d/gfx2d.h"
  const char* signatures;  // the C++ declarations, one a line
  const char* comment;     // Markdown
};

// The text of the operation of that name, or null.
const OperationDoc* FindOperationDoc(std::string_view name);

}  // namespace vlmls
