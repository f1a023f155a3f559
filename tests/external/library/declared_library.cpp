// A shared library whose functions the external-code tests declare and call.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) int32_t VlmAddNumbers(int32_t a, int32_t b) { return a + b; }

__attribute__((visibility("default"))) double VlmHalf(double value) { return value / 2.0; }

}
