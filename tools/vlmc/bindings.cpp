// The runtime operations a BASIC program calls by name, generated at build
// time from the runtime's public headers (gen_bindings.py).
#include "bindings.h"

namespace vlmc {

const Binding kBindings[] = {
#include "vlmc_bindings.inc"
};
const int kBindingCount = static_cast<int>(sizeof kBindings / sizeof kBindings[0]);

}  // namespace vlmc
