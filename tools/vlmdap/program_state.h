// What a stopped debug-mode program shows a debugger, decoded from its
// memory: the debug state block (and the frame records appended to it), the
// variable tables, and the values of numbers, texts and arrays. Everything
// read is untrusted: counts are clamped, sizes checked, and a failed read is
// an error, never a crash. docs/debugger-protocol.md has the layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dap {

// The memory of the program (a traced process, or a test's fake).
class Memory {
 public:
  virtual ~Memory() = default;
  // All n bytes or false.
  virtual bool Read(uint64_t address, void* buffer, size_t n) = 0;
  virtual bool Write(uint64_t address, const void* buffer, size_t n) = 0;

  template <class T>
  bool Get(uint64_t address, T* value) {
    return Read(address, value, sizeof(T));
  }
  // A NUL-terminated text of at most limit bytes.
  bool ReadCString(uint64_t address, size_t limit, std::string* text);
};

// Field offsets of the state block.
namespace state {
constexpr uint64_t kBreakpointCount = 0x00;
constexpr uint64_t kBreakRequest = 0x0C;
constexpr uint64_t kEndRequest = 0x18;
constexpr uint64_t kStepCommand = 0x1C;
constexpr uint64_t kBaseSize = 0x40;
constexpr uint64_t kFramedSize = 0x60;  // with the frame records' fields
}  // namespace state

constexpr int32_t kTableLimit = 1024;  // variable and breakpoint tables

struct DebugState {
  int32_t breakpointCount = 0, globalCount = 0, localCount = 0, breakRequest = 0;
  int32_t module = 0, line = 0, endRequest = 0, stepCommand = 0;
  uint64_t breakpointModules = 0, breakpointLines = 0, globalEntries = 0, localEntries = 0;
  // Present when the block is kFramedSize long.
  bool hasFrames = false;
  int32_t frameCount = 0;
  uint64_t frames = 0;
  uint64_t currentModule = 0, currentLine = 0;
};

// Reads the block; size is what the program's symbol says it is (or 0 when unknown).
bool ReadDebugState(Memory& memory, uint64_t address, uint64_t size, DebugState* state);

enum VariableType : int32_t {
  kNumber = 0,
  kText = 1,
  kNumberArray = 2,
  kIntArray = 3,
  kTextArray = 4,
  kInt = 5,
  kRecordArray = 6,
};

struct Variable {
  std::string name;  // as registered (a$ as a_Str, p% as p_Int, records' fields as "name.field")
  int32_t type = 0;
  uint64_t address = 0;
  // kRecordArray: 0 for a registered one (address is its record-array view);
  // for a record's field, address is the array and this its record layout.
  uint64_t recordLayout = 0;
};

// How the records of an array of records are laid out, and their fields.
struct RecordLayout {
  int32_t elementSize = 0;
  int32_t fieldCount = 0;
  uint64_t fields = 0;  // the field table
};
// The array header and layout of a kRecordArray variable.
bool ReadRecordArray(Memory& memory, const Variable& v, uint64_t* array, RecordLayout* layout, std::string* error);
// The fields of one record at base, as variables (nested records' fields flat, "inner.x").
// Every field must lie inside the record.
bool ReadRecordFields(Memory& memory, const RecordLayout& layout, uint64_t base, std::vector<Variable>* fields,
                      std::string* error);
// Bytes a variable of that type takes (8, 16, 48, 4), 0 for an unknown type.
int32_t StorageSize(int32_t type);

// The entries of a variable table (count clamped to the table's size).
bool ReadVariableTable(Memory& memory, uint64_t entries, int32_t count, std::vector<Variable>* variables);

// One running routine, outermost first.
struct Frame {
  std::string routine;     // its C++ name
  uint64_t localEntries = 0;
  int32_t localCount = 0;
  int32_t module = 0, line = 0;  // where it is now: for the innermost the stop, else its callee's call
};

// The routines now running. Without frame records (an older program) one frame
// holds the stop's position and its local table.
bool ReadFrames(Memory& memory, const DebugState& state, int32_t module, int32_t line, std::vector<Frame>* frames);

struct ArrayInfo {
  uint64_t data = 0;
  int32_t strides[3] = {0, 0, 0};  // of the second to fourth index
  int32_t dims[4] = {0, 0, 0, 0};
  int32_t count = 0;
  int32_t rank = 0;  // dimensions in use; 0 before the first DIM
  int32_t capacity = 0;
};

// Reads and checks an array header: a rank of 1..4 with that many positive
// sizes whose strides and count agree, or rank 0 (not dimensioned).
bool ReadArray(Memory& memory, uint64_t address, ArrayInfo* array, std::string* error);
// The number of indices dimension k (0-based) takes: its size; an unused size
// (0) past the first takes index 0 only; a negative size none.
int64_t DimensionSize(const ArrayInfo& array, int k);
// The element number of (indices), or -1 when an index is outside its dimension.
int64_t ElementNumber(const ArrayInfo& array, const std::vector<int64_t>& indices);
int32_t ElementSize(int32_t arrayType);  // 8, 4 or 16 bytes (records: their layout's size)
int32_t ElementType(int32_t arrayType);  // kNumber, kInt or kText

// A BasicString's bytes (at most kTextLimit of them are read).
constexpr uint32_t kTextLimit = 1u << 20;
struct TextInfo {
  uint64_t data = 0;
  uint32_t capacity = 0;
  uint32_t length = 0;
};
bool ReadText(Memory& memory, uint64_t address, std::string* bytes, TextInfo* info);

// A value of the language: a number or a text (bytes in the program's code page).
struct Value {
  bool isText = false;
  double number = 0;
  std::string text;
};

// The value of a scalar variable or element of that type (numbers, ints, texts).
bool ReadScalar(Memory& memory, int32_t type, uint64_t address, Value* value, std::string* error);
// Writes a value into a scalar: numbers freely (ints truncated as the program
// truncates), texts only when they fit the buffer the string already owns.
bool WriteScalar(Memory& memory, int32_t type, uint64_t address, const Value& value, std::string* error);

// Truncation of a number to int32 as the programs do it (NaN and values
// outside the range give INT32_MIN).
int32_t Truncate(double x);
// The number's text: the shortest that reads back to the same value.
std::string NumberText(double x);

}  // namespace dap
