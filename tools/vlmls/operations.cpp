// The runtime operations' reference texts (see operations.h).
#include "operations.h"

#include <algorithm>
#include <iterator>

namespace vlmls {
namespace {

const OperationDoc kDocs[] = {
#include "vlmls_operation_docs.inc"
};

}  // namespace

const OperationDoc* FindOperationDoc(std::string_view name) {
  const auto it = std::lower_bound(std::begin(kDocs), std::end(kDocs), name,
                                   [](const OperationDoc& d, std::string_view n) { return std::string_view(d.name) < n; });
  return it != std::end(kDocs) && std::string_view(it->name) == name ? &*it : nullptr;
}

}  // namespace vlmls
