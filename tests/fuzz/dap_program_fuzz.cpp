// The debug adapter's view of a program's memory when that memory is
// anything at all: the input's first line is an expression, the rest is the
// memory (mapped at 0x10000, the state block at its start). The state
// block, the frame records, the variable tables, arrays and texts are read
// from it and the expression is evaluated over its variables; every read
// outside the input must fail cleanly, and nothing may crash, hang or
// allocate without bound.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "expression.h"
#include "program_state.h"

namespace {

constexpr uint64_t kBase = 0x10000;

class InputMemory : public dap::Memory, public dap::NameScope {
 public:
  explicit InputMemory(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Read(uint64_t address, void* buffer, size_t n) override {
    if (address < kBase || address - kBase > bytes_.size() || n > bytes_.size() - (address - kBase)) return false;
    std::memcpy(buffer, bytes_.data() + (address - kBase), n);
    return true;
  }
  bool Write(uint64_t address, const void* buffer, size_t n) override {
    if (address < kBase || address - kBase > bytes_.size() || n > bytes_.size() - (address - kBase)) return false;
    std::memcpy(bytes_.data() + (address - kBase), buffer, n);
    return true;
  }
  bool Find(const std::string& name, dap::Variable* variable) override {
    for (const dap::Variable& v : variables)
      if (v.name == name) return *variable = v, true;
    return false;
  }
  dap::Memory& memory() override { return *this; }
  std::vector<dap::Variable> variables;

 private:
  std::string bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string expression = newline == std::string::npos ? input : input.substr(0, newline);
  InputMemory memory(newline == std::string::npos ? std::string() : input.substr(newline + 1));

  dap::DebugState state;
  if (dap::ReadDebugState(memory, kBase, 0x60, &state)) {
    std::vector<dap::Frame> frames;
    dap::ReadFrames(memory, state, state.module, state.line, &frames);
    dap::ReadVariableTable(memory, state.globalEntries, state.globalCount, &memory.variables);
    for (const dap::Frame& f : frames) {
      std::vector<dap::Variable> locals;
      dap::ReadVariableTable(memory, f.localEntries, f.localCount, &locals);
    }
  }
  for (const dap::Variable& v : memory.variables) {
    std::string error;
    dap::ArrayInfo a;
    if (dap::ReadArray(memory, v.address, &a, &error) && a.rank > 0) {
      std::vector<int64_t> first(static_cast<size_t>(a.rank), 0);
      const int64_t n = dap::ElementNumber(a, first);
      dap::Value x;
      if (n >= 0) dap::ReadScalar(memory, dap::ElementType(v.type), a.data + n * dap::ElementSize(v.type), &x, &error);
    }
    dap::Value x;
    dap::ReadScalar(memory, v.type, v.address, &x, &error);
  }
  dap::Value value;
  std::string error;
  if (dap::EvaluateText(expression, memory, &value, &error)) {
    dap::ValueText(value);
  }
  dap::Interpolate(expression, memory);
  return 0;
}
