// Decoding a stopped program's debug state, variable tables and values (see program_state.h).
#include "program_state.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace dap {

bool Memory::ReadCString(uint64_t address, size_t limit, std::string* text) {
  text->clear();
  constexpr uint64_t kPage = 4096;
  while (text->size() < limit) {
    // Never ask across a page end: the next page may not be mapped.
    const uint64_t at = address + text->size();
    size_t chunk = static_cast<size_t>(kPage - at % kPage);
    if (chunk > limit - text->size()) chunk = limit - text->size();
    char buffer[kPage];
    if (!Read(at, buffer, chunk)) return false;
    const void* nul = std::memchr(buffer, 0, chunk);
    if (nul != nullptr) {
      text->append(buffer, static_cast<const char*>(nul) - buffer);
      return true;
    }
    text->append(buffer, chunk);
  }
  return true;  // cut at the limit
}

bool ReadDebugState(Memory& memory, uint64_t address, uint64_t size, DebugState* s) {
  unsigned char block[state::kFramedSize];
  const bool framed = size >= state::kFramedSize;
  if (!memory.Read(address, block, framed ? state::kFramedSize : state::kBaseSize)) return false;
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, block + at, 4);
    return v;
  };
  auto u64 = [&](size_t at) {
    uint64_t v;
    std::memcpy(&v, block + at, 8);
    return v;
  };
  *s = DebugState();
  s->breakpointCount = i32(0x00);
  s->globalCount = i32(0x04);
  s->localCount = i32(0x08);
  s->breakRequest = i32(0x0C);
  s->module = i32(0x10);
  s->line = i32(0x14);
  s->endRequest = i32(0x18);
  s->stepCommand = i32(0x1C);
  s->breakpointModules = u64(0x20);
  s->breakpointLines = u64(0x28);
  s->globalEntries = u64(0x30);
  s->localEntries = u64(0x38);
  // The appended fields announce themselves by the block's size at 0x40.
  if (framed && i32(0x40) == static_cast<int32_t>(state::kFramedSize)) {
    s->hasFrames = true;
    s->frameCount = i32(0x44);
    s->frames = u64(0x48);
    s->currentModule = u64(0x50);
    s->currentLine = u64(0x58);
  }
  return true;
}

bool ReadVariableTable(Memory& memory, uint64_t entries, int32_t count, std::vector<Variable>* variables) {
  variables->clear();
  if (entries == 0 || count <= 0) return true;
  if (count > kTableLimit) count = kTableLimit;
  std::vector<unsigned char> raw(static_cast<size_t>(count) * 24);
  if (!memory.Read(entries, raw.data(), raw.size())) return false;
  for (int32_t k = 0; k < count; ++k) {
    uint64_t name = 0, address = 0;
    Variable v;
    std::memcpy(&name, &raw[k * 24], 8);
    std::memcpy(&v.type, &raw[k * 24 + 8], 4);
    std::memcpy(&address, &raw[k * 24 + 16], 8);
    v.address = address;
    if (name == 0 || !memory.ReadCString(name, 256, &v.name)) v.name = "?";
    variables->push_back(std::move(v));
  }
  return true;
}

bool ReadFrames(Memory& memory, const DebugState& state, int32_t module, int32_t line, std::vector<Frame>* frames) {
  frames->clear();
  int32_t count = state.hasFrames ? state.frameCount : 0;
  if (count <= 0 || state.frames == 0) {
    Frame only;
    only.localEntries = state.localEntries;
    only.localCount = state.localCount;
    only.module = module;
    only.line = line;
    frames->push_back(only);
    return true;
  }
  constexpr int32_t kFrameLimit = 100000;
  if (count > kFrameLimit) count = kFrameLimit;
  constexpr size_t kRecord = 24;
  std::vector<unsigned char> raw(static_cast<size_t>(count) * kRecord);
  if (!memory.Read(state.frames, raw.data(), raw.size())) return false;
  for (int32_t k = 0; k < count; ++k) {
    uint64_t name = 0, table = 0;
    int32_t callerModule = 0, callerLine = 0;
    std::memcpy(&name, &raw[k * kRecord], 8);
    std::memcpy(&table, &raw[k * kRecord + 8], 8);
    std::memcpy(&callerModule, &raw[k * kRecord + 16], 4);
    std::memcpy(&callerLine, &raw[k * kRecord + 20], 4);
    Frame f;
    if (name == 0 || !memory.ReadCString(name, 256, &f.routine)) f.routine = "?";
    if (table != 0) {
      int32_t localCount = 0;
      if (memory.Get(table, &localCount)) {
        f.localCount = localCount;
        f.localEntries = table + 8;
      }
    }
    if (k > 0) {
      // A routine's caller stands where the routine was called from.
      (*frames)[k - 1].module = callerModule;
      (*frames)[k - 1].line = callerLine;
    }
    frames->push_back(std::move(f));
  }
  frames->back().module = module;
  frames->back().line = line;
  return true;
}

namespace {

int64_t Extent(int32_t size, bool first) {
  if (size > 0) return size;
  if (first || size < 0) return 0;
  return 1;
}

}  // namespace

bool ReadArray(Memory& memory, uint64_t address, ArrayInfo* a, std::string* error) {
  unsigned char raw[48];
  if (!memory.Read(address, raw, sizeof raw)) {
    *error = "cannot read the array";
    return false;
  }
  *a = ArrayInfo();
  std::memcpy(&a->data, raw, 8);
  std::memcpy(a->strides, raw + 0x08, 12);
  std::memcpy(a->dims, raw + 0x14, 16);
  std::memcpy(&a->count, raw + 0x24, 4);
  std::memcpy(&a->rank, raw + 0x28, 4);
  std::memcpy(&a->capacity, raw + 0x2C, 4);
  if (a->rank == 0) {
    if (a->count != 0) {
      *error = "damaged array header (no dimensions, yet elements)";
      return false;
    }
    return true;
  }
  if (a->rank < 0 || a->rank > 4) {
    *error = "damaged array header (" + std::to_string(a->rank) + " dimensions)";
    return false;
  }
  int64_t product = 1;
  int64_t stride = 1;
  for (int k = 0; k < 4; ++k) {
    const int64_t e = k < a->rank ? Extent(a->dims[k], k == 0) : 1;
    if (a->count > 0 && k > 0 && k < a->rank && a->strides[k - 1] != stride) {
      *error = "damaged array header (strides do not match the sizes)";
      return false;
    }
    stride *= (e == 0 ? 1 : e);
    product *= e;
    if (product > 0x7FFFFFF0) break;
  }
  if (product != a->count || a->count > a->capacity || a->count < 0 || (a->count > 0 && a->data == 0)) {
    *error = "damaged array header (count " + std::to_string(a->count) + " does not match the sizes)";
    return false;
  }
  return true;
}

int64_t DimensionSize(const ArrayInfo& array, int k) {
  if (k < 0 || k >= array.rank) return 0;
  return Extent(array.dims[k], k == 0);
}

int64_t ElementNumber(const ArrayInfo& a, const std::vector<int64_t>& indices) {
  if (a.rank == 0 || indices.empty() || indices.size() > 4) return -1;
  int64_t number = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int64_t i = k < indices.size() ? indices[k] : 0;
    const int64_t e = static_cast<int>(k) < a.rank ? Extent(a.dims[k], k == 0) : 1;
    if (i < 0 || i >= e) return -1;
    number += (k == 0 ? 1 : a.strides[k - 1]) * i;
  }
  return number < a.count ? number : -1;
}

int32_t StorageSize(int32_t type) {
  switch (type) {
    case kNumber: return 8;
    case kText: return 16;
    case kNumberArray:
    case kIntArray:
    case kTextArray:
    case kRecordArray: return 48;
    case kInt: return 4;
    default: return 0;
  }
}

namespace {

bool ReadLayout(Memory& memory, uint64_t address, RecordLayout* layout, std::string* error) {
  unsigned char raw[16];
  if (!memory.Read(address, raw, sizeof raw)) {
    *error = "cannot read the record layout";
    return false;
  }
  std::memcpy(&layout->elementSize, raw, 4);
  std::memcpy(&layout->fieldCount, raw + 4, 4);
  std::memcpy(&layout->fields, raw + 8, 8);
  if (layout->elementSize <= 0 || layout->fieldCount < 0 || layout->fieldCount > kTableLimit ||
      (layout->fieldCount > 0 && layout->fields == 0)) {
    *error = "damaged record layout";
    return false;
  }
  return true;
}

}  // namespace

bool ReadRecordArray(Memory& memory, const Variable& v, uint64_t* array, RecordLayout* layout, std::string* error) {
  if (v.recordLayout != 0) {
    *array = v.address;
    return ReadLayout(memory, v.recordLayout, layout, error);
  }
  if (!memory.Get(v.address, array)) {
    *error = "cannot read the record-array view";
    return false;
  }
  return ReadLayout(memory, v.address + 8, layout, error);
}

bool ReadRecordFields(Memory& memory, const RecordLayout& layout, uint64_t base, std::vector<Variable>* fields,
                      std::string* error) {
  fields->clear();
  if (layout.fieldCount == 0) return true;
  std::vector<unsigned char> raw(static_cast<size_t>(layout.fieldCount) * 24);
  if (!memory.Read(layout.fields, raw.data(), raw.size())) {
    *error = "cannot read the record's field table";
    return false;
  }
  for (int32_t k = 0; k < layout.fieldCount; ++k) {
    uint64_t name = 0, nested = 0;
    int32_t type = 0, offset = 0;
    std::memcpy(&name, &raw[k * 24], 8);
    std::memcpy(&type, &raw[k * 24 + 8], 4);
    std::memcpy(&offset, &raw[k * 24 + 12], 4);
    std::memcpy(&nested, &raw[k * 24 + 16], 8);
    const int32_t size = StorageSize(type);
    if (size == 0 || offset < 0 || offset > layout.elementSize - size || (type == kRecordArray && nested == 0)) {
      *error = "damaged record field table";
      fields->clear();
      return false;
    }
    Variable f;
    if (name == 0 || !memory.ReadCString(name, 256, &f.name)) f.name = "?";
    f.type = type;
    f.address = base + static_cast<uint64_t>(offset);
    f.recordLayout = type == kRecordArray ? nested : 0;
    fields->push_back(std::move(f));
  }
  return true;
}

int32_t ElementSize(int32_t arrayType) {
  switch (arrayType) {
    case kNumberArray: return 8;
    case kIntArray: return 4;
    case kTextArray: return 16;
    default: return 0;
  }
}

int32_t ElementType(int32_t arrayType) {
  switch (arrayType) {
    case kIntArray: return kInt;
    case kTextArray: return kText;
    default: return kNumber;
  }
}

bool ReadText(Memory& memory, uint64_t address, std::string* bytes, TextInfo* info) {
  unsigned char raw[16];
  if (!memory.Read(address, raw, sizeof raw)) return false;
  std::memcpy(&info->data, raw, 8);
  std::memcpy(&info->capacity, raw + 8, 4);
  std::memcpy(&info->length, raw + 12, 4);
  if (info->data == 0) return false;
  if (info->capacity != 0 && info->length >= info->capacity) return false;  // the NUL must fit
  const uint32_t n = info->length < kTextLimit ? info->length : kTextLimit;
  bytes->resize(n);
  return n == 0 || memory.Read(info->data, bytes->data(), n);
}

bool ReadScalar(Memory& memory, int32_t type, uint64_t address, Value* value, std::string* error) {
  *value = Value();
  switch (type) {
    case kNumber: {
      double d = 0;
      if (!memory.Get(address, &d)) break;
      value->number = d;
      return true;
    }
    case kInt: {
      int32_t i = 0;
      if (!memory.Get(address, &i)) break;
      value->number = i;
      return true;
    }
    case kText: {
      TextInfo info;
      value->isText = true;
      if (!ReadText(memory, address, &value->text, &info)) break;
      return true;
    }
    default:
      *error = "not a number or a text";
      return false;
  }
  *error = "cannot read the program's memory there";
  return false;
}

bool WriteScalar(Memory& memory, int32_t type, uint64_t address, const Value& value, std::string* error) {
  if ((type == kText) != value.isText) {
    *error = type == kText ? "a text variable takes a text (in double quotes)" : "a number variable takes a number";
    return false;
  }
  if (type == kNumber) {
    if (memory.Write(address, &value.number, 8)) return true;
  } else if (type == kInt) {
    const int32_t i = Truncate(value.number);
    if (memory.Write(address, &i, 4)) return true;
  } else if (type == kText) {
    std::string old;
    TextInfo info;
    if (!ReadText(memory, address, &old, &info)) {
      *error = "cannot read the text's buffer";
      return false;
    }
    // The program owns the buffer and its size; only what fits is written,
    // the bytes and their terminator first, the length last.
    if (value.text.size() >= info.capacity) {
      *error = "the new text needs " + std::to_string(value.text.size() + 1) + " bytes, its buffer holds " +
               std::to_string(info.capacity) + " (the program must make it longer itself)";
      return false;
    }
    std::string bytes = value.text;
    bytes.push_back('\0');
    const uint32_t length = static_cast<uint32_t>(value.text.size());
    if (memory.Write(info.data, bytes.data(), bytes.size()) && memory.Write(address + 12, &length, 4)) return true;
  } else {
    *error = "only numbers and texts can be set";
    return false;
  }
  *error = "cannot write the program's memory there";
  return false;
}

int32_t Truncate(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

std::string NumberText(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Infinity" : "-Infinity";
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

}  // namespace dap
