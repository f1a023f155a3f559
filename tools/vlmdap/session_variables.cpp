// The debug session's view of a stop: call stack, scopes, variables, setting them and evaluating (see session.h).
#include "session.h"

#include <cstdlib>

namespace dap {

namespace {

constexpr int64_t kUnpagedChildren = 1000;  // an array's children sent when the client asks for all

const char* TypeName(int32_t type) {
  switch (type) {
    case kNumber: return "number";
    case kText: return "text";
    case kNumberArray: return "number array";
    case kIntArray: return "integer array";
    case kTextArray: return "text array";
    case kInt: return "integer";
    case kRecordArray: return "record array";
    case kRecordElement: return "record";
    default: return "unknown";
  }
}

bool IsArray(int32_t type) {
  return type == kNumberArray || type == kIntArray || type == kTextArray || type == kRecordArray;
}

std::string FieldCount(int32_t count) { return "{" + std::to_string(count) + (count == 1 ? " field}" : " fields}"); }

// The fields shown under "prefix": a record inside the record counts once,
// however many entries its own fields take.
// (As ListTable lists them.)
int32_t ShownFields(const std::vector<Variable>& table, const std::string& prefix) {
  int32_t shown = 0;
  std::vector<std::string> heads;
  for (const Variable& v : table) {
    if (v.name.size() <= prefix.size() || v.name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = v.name.substr(prefix.size());
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0) {
      ++shown;
      continue;
    }
    const std::string head = rest.substr(0, dot);
    bool seen = false;
    for (const std::string& h : heads) seen = seen || h == head;
    if (!seen) heads.push_back(head);
  }
  return shown + static_cast<int32_t>(heads.size());
}

bool HasPrefix(const std::vector<Variable>& table, const std::string& prefix) {
  for (const Variable& v : table)
    if (v.name.size() > prefix.size() && v.name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

std::string Sizes(const ArrayInfo& a, int from) {
  std::string text = "[";
  for (int k = from; k < a.rank; ++k) {
    if (k > from) text += ", ";
    text += std::to_string(a.dims[k]);
  }
  return text + "]";
}

std::string Indices(const std::vector<int64_t>& indices) {
  std::string text;
  for (size_t k = 0; k < indices.size(); ++k) {
    if (k > 0) text += ", ";
    text += std::to_string(indices[k]);
  }
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---------------------------------------------------------------- names in a frame

bool FrameScope::Find(const std::string& name, Variable* variable) {
  if (const std::vector<Variable>* locals = session_.Locals(level_)) {
    for (const Variable& v : *locals)
      if (v.name == name) return *variable = v, true;
  }
  for (const Variable& v : session_.Globals())
    if (v.name == name) return *variable = v, true;
  return false;
}

bool FrameScope::IsRecord(const std::string& name) {
  const std::vector<Variable>* locals = session_.Locals(level_);
  return (locals != nullptr && HasPrefix(*locals, name + ".")) || HasPrefix(session_.Globals(), name + ".");
}

Memory& FrameScope::memory() { return session_.tracer_; }

// ---------------------------------------------------------------- the stop's view

void Session::ClearStopView() {
  framesLoaded_ = false;
  frames_.clear();
  globalsLoaded_ = false;
  globals_.clear();
  locals_.clear();
  handles_.clear();
}

int Session::Depth() const { return state_.hasFrames ? state_.frameCount : -1; }

bool Session::LoadFrames(std::string* error) {
  if (framesLoaded_) return true;
  if (where_ == Where::Text && state_.hasFrames) {
    // Frames move on between statement stops; read the count as it is now.
    DebugState fresh;
    if (ReadDebugState(tracer_, stateAddress_, stateSize_, &fresh)) {
      state_.frameCount = fresh.frameCount;
      state_.frames = fresh.frames;
    }
  }
  if (!ReadFrames(tracer_, state_, stopModule_, stopLine_, &frames_)) {
    *error = "cannot read the program's frame records";
    return false;
  }
  framesLoaded_ = true;
  return true;
}

const std::vector<Variable>& Session::Globals() {
  if (!globalsLoaded_) {
    globalsLoaded_ = true;
    int32_t count = state_.globalCount;
    // At a failure the block holds the last statement stop's count; the
    // table's own count (just before its entries) is the current one.
    if (where_ == Where::Text && state_.globalEntries >= 8) tracer_.Get(state_.globalEntries - 8, &count);
    ReadVariableTable(tracer_, state_.globalEntries, count, &globals_);
  }
  return globals_;
}

const std::vector<Variable>* Session::Locals(int level) {
  const auto found = locals_.find(level);
  if (found != locals_.end()) return &found->second;
  std::string error;
  if (!LoadFrames(&error)) return nullptr;
  const int index = static_cast<int>(frames_.size()) - 1 - level;
  if (index < 0 || index >= static_cast<int>(frames_.size())) return nullptr;
  const Frame& f = frames_[index];
  std::vector<Variable>& table = locals_[level];
  ReadVariableTable(tracer_, f.localEntries, f.localCount, &table);
  return &table;
}

json::Value Session::SourceOf(int32_t module, int32_t statement, int32_t* line, int32_t* column) const {
  json::Value source = json::Value::MakeObject();
  const StatementPlace* place = haveMap_ ? map_.Place(module, statement) : nullptr;
  const ModuleMap* m = haveMap_ ? map_.Module(module) : nullptr;
  if (place != nullptr && m != nullptr) {
    source.Set("name", BaseName(m->file));
    source.Set("path", m->file);
    *line = place->line;
    *column = place->column;
  } else {
    source.Set("name", "module " + std::to_string(module));
    source.Set("presentationHint", "deemphasize");
    *line = statement;
    *column = 1;
  }
  return source;
}

std::string Session::RoutineName(const std::string& cpp) const {
  if (cpp == "mainProgram") return "main program";
  if (cpp == "globalSetup") return "global set-up";
  if (cpp == "globalTeardown") return "global teardown";
  const std::string basic = haveMap_ ? map_.RoutineName(cpp) : std::string();
  if (!basic.empty()) return basic;
  return cpp.empty() ? std::string("?") : BasicName(cpp);
}

int Session::NewHandle(Handle handle) {
  handles_.push_back(std::move(handle));
  return static_cast<int>(handles_.size());
}

bool Session::ToLatin1(const std::string& utf8, std::string* bytes, std::string* error) {
  if (json::Utf8ToLatin1(utf8, bytes)) return true;
  *error = "the text holds characters the program's 8-bit code page does not have";
  return false;
}

// ---------------------------------------------------------------- requests

void Session::StackTrace(const json::Value& r) {
  if (!reported_) return Fail(r, "the program is running");
  std::string error;
  if (!LoadFrames(&error)) return Fail(r, error);
  const int64_t total = static_cast<int64_t>(frames_.size());
  const int64_t start = r["arguments"]["startFrame"].AsInt(0);
  int64_t levels = r["arguments"]["levels"].AsInt(0);
  if (levels <= 0) levels = total;
  json::Value list = json::Value::MakeArray();
  for (int64_t level = start < 0 ? 0 : start; level < total && level < start + levels; ++level) {
    const Frame& f = frames_[static_cast<size_t>(total - 1 - level)];
    json::Value j = json::Value::MakeObject();
    j.Set("id", level + 1);
    j.Set("name", RoutineName(f.routine));
    int32_t line = 0, column = 0;
    j.Set("source", SourceOf(f.module, f.line, &line, &column));
    j.Set("line", line);
    j.Set("column", column);
    list.Push(std::move(j));
  }
  json::Value body = json::Value::MakeObject();
  body.Set("stackFrames", std::move(list));
  body.Set("totalFrames", total);
  Respond(r, std::move(body));
}

void Session::Scopes(const json::Value& r) {
  if (!reported_) return Fail(r, "the program is running");
  int level = static_cast<int>(r["arguments"]["frameId"].AsInt(1)) - 1;
  std::string error;
  if (!LoadFrames(&error)) return Fail(r, error);
  if (level < 0 || level >= static_cast<int>(frames_.size())) level = 0;
  json::Value scopes = json::Value::MakeArray();
  const std::vector<Variable>* locals = Locals(level);
  json::Value l = json::Value::MakeObject();
  l.Set("name", "Locals");
  l.Set("presentationHint", "locals");
  Handle localsHandle;
  localsHandle.kind = Handle::Locals;
  localsHandle.level = level;
  l.Set("variablesReference", NewHandle(localsHandle));
  l.Set("namedVariables", locals != nullptr ? ShownFields(*locals, "") : 0);
  l.Set("expensive", false);
  scopes.Push(std::move(l));
  json::Value g = json::Value::MakeObject();
  g.Set("name", "Globals");
  Handle globalsHandle;
  globalsHandle.kind = Handle::Globals;
  globalsHandle.level = -1;
  g.Set("variablesReference", NewHandle(globalsHandle));
  g.Set("namedVariables", ShownFields(Globals(), ""));
  g.Set("expensive", false);
  scopes.Push(std::move(g));
  json::Value body = json::Value::MakeObject();
  body.Set("scopes", std::move(scopes));
  Respond(r, std::move(body));
}

json::Value Session::VariableJson(const Variable& v, const std::string& shown, const std::string& evaluateName) {
  json::Value j = json::Value::MakeObject();
  j.Set("name", shown);
  j.Set("type", TypeName(v.type));
  int reference = 0;
  std::string value;
  if (IsArray(v.type)) {
    ArrayInfo a;
    std::string error;
    uint64_t header = v.address;
    RecordLayout layout;
    if ((v.type == kRecordArray && !ReadRecordArray(tracer_, v, &header, &layout, &error)) ||
        !ReadArray(tracer_, header, &a, &error)) {
      value = "<" + error + ">";
    } else if (a.rank == 0) {
      // DIM a[0] and REMOVE of the last element leave a block without dimensions.
      value = a.data == 0 ? "not dimensioned" : v.type == kRecordArray ? "[0] records" : "[0]";
    } else {
      value = Sizes(a, 0);
      if (v.type == kRecordArray) value += " records";
      Handle h;
      h.kind = Handle::Array;
      h.array = v;
      h.expression = evaluateName;
      reference = NewHandle(h);
      j.Set("indexedVariables", DimensionSize(a, 0));
    }
  } else {
    Value x;
    std::string error;
    value = ReadScalar(tracer_, v.type, v.address, &x, &error) ? json::Latin1ToUtf8(ValueText(x)) : "<" + error + ">";
  }
  j.Set("value", value);
  j.Set("variablesReference", reference);
  j.Set("evaluateName", evaluateName);
  return j;
}

bool Session::TableOf(const Handle& h, std::vector<Variable>* table, std::string* error) {
  switch (h.kind) {
    case Handle::Locals: {
      const std::vector<Variable>* locals = Locals(h.level);
      if (locals == nullptr) return *error = "no such frame", false;
      *table = *locals;
      return true;
    }
    case Handle::Globals:
      *table = Globals();
      return true;
    case Handle::Record:
      return ReadRecordFields(tracer_, h.layout, h.base, table, error);
    case Handle::Array:
      break;
  }
  *error = "not a table";
  return false;
}

json::Value Session::ListTable(const std::vector<Variable>& table, const Handle& origin) {
  // Records register their fields as "name.field": the fields gather under
  // one entry for the record, in the order the first of them was registered.
  const std::string& prefix = origin.prefix;
  const std::string base = origin.kind == Handle::Record ? origin.expression + "." : std::string();
  json::Value list = json::Value::MakeArray();
  std::vector<std::string> groups;
  for (const Variable& v : table) {
    if (v.name.compare(0, prefix.size(), prefix) != 0 || v.name.size() == prefix.size()) continue;
    const std::string rest = v.name.substr(prefix.size());
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0) {
      list.Push(VariableJson(v, BasicName(rest), base + BasicName(v.name)));
      continue;
    }
    const std::string head = rest.substr(0, dot);
    bool seen = false;
    for (const std::string& g : groups) seen = seen || g == head;
    if (seen) continue;
    groups.push_back(head);
    Handle h = origin;
    h.prefix = prefix + head + ".";
    const int32_t fields = ShownFields(table, h.prefix);
    json::Value j = json::Value::MakeObject();
    j.Set("name", head);
    j.Set("value", FieldCount(fields));
    j.Set("type", "record");
    j.Set("variablesReference", NewHandle(h));
    j.Set("namedVariables", fields);
    j.Set("evaluateName", base + prefix + head);
    list.Push(std::move(j));
  }
  return list;
}

json::Value Session::ListArray(const Handle& h, const json::Value& args, std::string* error) {
  json::Value list = json::Value::MakeArray();
  ArrayInfo a;
  uint64_t header = h.array.address;
  RecordLayout layout;
  const bool records = h.array.type == kRecordArray;
  if (records && !ReadRecordArray(tracer_, h.array, &header, &layout, error)) return list;
  if (!ReadArray(tracer_, header, &a, error)) return list;
  int32_t recordFields = 0;
  if (records) {
    std::vector<Variable> fields;
    if (!ReadRecordFields(tracer_, layout, 0, &fields, error)) return list;
    recordFields = ShownFields(fields, "");
  }
  const int level = static_cast<int>(h.fixed.size());
  if (level >= a.rank || args["filter"].AsString() == "named") return list;
  const int64_t size = DimensionSize(a, level);
  int64_t start = args["start"].AsInt(0);
  int64_t count = args["count"].AsInt(0);
  if (start < 0) start = 0;
  if (count <= 0) count = size < kUnpagedChildren ? size : kUnpagedChildren;
  for (int64_t i = start; i < size && i < start + count; ++i) {
    std::vector<int64_t> indices = h.fixed;
    indices.push_back(i);
    const std::string evaluateName = h.expression + "[" + Indices(indices) + "]";
    json::Value j = json::Value::MakeObject();
    j.Set("name", "[" + std::to_string(i) + "]");
    if (level + 1 < a.rank) {
      Handle child = h;
      child.fixed = indices;
      j.Set("value", Sizes(a, level + 1));
      j.Set("type", TypeName(h.array.type));
      j.Set("indexedVariables", DimensionSize(a, level + 1));
      j.Set("variablesReference", NewHandle(child));
      list.Push(std::move(j));
      continue;
    }
    const int64_t number = ElementNumber(a, indices);
    if (records) {
      Handle record;
      record.kind = Handle::Record;
      record.level = h.level;
      record.base = a.data + static_cast<uint64_t>(number) * static_cast<uint64_t>(layout.elementSize);
      record.layout = layout;
      record.expression = evaluateName;
      j.Set("value", FieldCount(recordFields));
      j.Set("type", "record");
      j.Set("namedVariables", recordFields);
      j.Set("variablesReference", NewHandle(record));
    } else {
      Value x;
      std::string why;
      const int32_t type = ElementType(h.array.type);
      const bool ok = number >= 0 && ReadScalar(tracer_, type, a.data + static_cast<uint64_t>(number) *
                                                                          ElementSize(h.array.type),
                                                &x, &why);
      j.Set("value", ok ? json::Latin1ToUtf8(ValueText(x)) : "<" + why + ">");
      j.Set("type", TypeName(type));
      j.Set("variablesReference", 0);
    }
    j.Set("evaluateName", evaluateName);
    list.Push(std::move(j));
  }
  return list;
}

void Session::Variables(const json::Value& r) {
  if (!reported_) return Fail(r, "the program is running");
  const json::Value& args = r["arguments"];
  const int64_t ref = args["variablesReference"].AsInt(0);
  if (ref <= 0 || ref > static_cast<int64_t>(handles_.size())) return Fail(r, "no such variables (the stop has passed)");
  const Handle h = handles_[static_cast<size_t>(ref - 1)];
  json::Value list;
  std::string error;
  if (h.kind == Handle::Array) {
    list = ListArray(h, args, &error);
  } else {
    std::vector<Variable> table;
    if (TableOf(h, &table, &error)) list = ListTable(table, h);
  }
  if (!error.empty()) return Fail(r, error);
  if (args["filter"].AsString() == "indexed" && h.kind != Handle::Array) list = json::Value::MakeArray();
  json::Value body = json::Value::MakeObject();
  body.Set("variables", std::move(list));
  Respond(r, std::move(body));
}

void Session::SetVariable(const json::Value& r) {
  if (!reported_) return Fail(r, "the program is running");
  const json::Value& args = r["arguments"];
  const int64_t ref = args["variablesReference"].AsInt(0);
  if (ref <= 0 || ref > static_cast<int64_t>(handles_.size())) return Fail(r, "no such variables (the stop has passed)");
  const Handle h = handles_[static_cast<size_t>(ref - 1)];
  const std::string name = args["name"].AsString();
  int32_t type = -1;
  uint64_t address = 0;
  const int level = h.level >= 0 ? h.level : 0;
  if (h.kind == Handle::Array) {
    if (h.array.type == kRecordArray) return Fail(r, "set the record's fields, not the record");
    ArrayInfo a;
    std::string error;
    if (!ReadArray(tracer_, h.array.address, &a, &error)) return Fail(r, error);
    if (static_cast<int>(h.fixed.size()) + 1 != a.rank) return Fail(r, "set the elements, not a row");
    if (name.size() < 3 || name.front() != '[' || name.back() != ']') return Fail(r, "no element " + name);
    std::vector<int64_t> indices = h.fixed;
    indices.push_back(std::atoll(name.c_str() + 1));
    const int64_t number = ElementNumber(a, indices);
    if (number < 0) return Fail(r, name + " is outside the array");
    type = ElementType(h.array.type);
    address = a.data + static_cast<uint64_t>(number) * ElementSize(h.array.type);
  } else {
    std::vector<Variable> table;
    std::string error;
    if (!TableOf(h, &table, &error)) return Fail(r, error);
    for (const Variable& v : table) {
      if (v.name == h.prefix + RegisteredName(name) || v.name == h.prefix + name) {
        type = v.type;
        address = v.address;
        break;
      }
    }
    if (type < 0 && HasPrefix(table, h.prefix + name + "."))
      return Fail(r, name + " is a record: set its fields");
    if (type < 0) return Fail(r, "no variable " + name + " here");
    if (IsArray(type)) return Fail(r, name + " is an array: set its elements");
  }
  std::string bytes, error;
  Value value;
  FrameScope scope(*this, level);
  if (!ToLatin1(args["value"].AsString(), &bytes, &error) || !EvaluateText(bytes, scope, &value, &error))
    return Fail(r, error);
  if (!WriteScalar(tracer_, type, address, value, &error)) return Fail(r, error);
  Value now;
  if (!ReadScalar(tracer_, type, address, &now, &error)) return Fail(r, error);
  json::Value body = json::Value::MakeObject();
  body.Set("value", json::Latin1ToUtf8(ValueText(now)));
  body.Set("type", TypeName(type));
  body.Set("variablesReference", 0);
  Respond(r, std::move(body));
}

void Session::Evaluate(const json::Value& r) {
  if (!reported_) return Fail(r, "the program is running: pause it to evaluate");
  const json::Value& args = r["arguments"];
  int level = static_cast<int>(args["frameId"].AsInt(1)) - 1;
  if (level < 0) level = 0;
  std::string bytes, error;
  if (!ToLatin1(args["expression"].AsString(), &bytes, &error)) return Fail(r, error);
  NodePtr tree;
  if (!ParseExpression(bytes, &tree, &error)) return Fail(r, error);
  FrameScope scope(*this, level);
  json::Value body = json::Value::MakeObject();
  Handle group;
  if (RecordGroup(*tree, level, &group)) {
    // A record (ship, ship.pos, pts[2].pos): its fields, as the variables view shows them.
    std::vector<Variable> table;
    if (!TableOf(group, &table, &error)) return Fail(r, error);
    body.Set("result", FieldCount(ShownFields(table, group.prefix)));
    body.Set("type", "record");
    body.Set("variablesReference", NewHandle(group));
    return Respond(r, std::move(body));
  }
  Place place;
  std::string ignored;
  if ((tree->kind == Node::Name || tree->kind == Node::Element || tree->kind == Node::Field) &&
      Locate(*tree, scope, &place, &ignored) && IsArray(place.type)) {
    const json::Value shown = VariableJson(place.AsVariable(), place.name, place.name);
    body.Set("result", shown["value"]);
    body.Set("type", shown["type"]);
    body.Set("variablesReference", shown["variablesReference"]);
    if (shown.Has("indexedVariables")) body.Set("indexedVariables", shown["indexedVariables"]);
    return Respond(r, std::move(body));
  }
  Value value;
  if (!dap::Evaluate(*tree, scope, &value, &error)) return Fail(r, error);
  body.Set("result", json::Latin1ToUtf8(ValueText(value)));
  body.Set("type", value.isText ? "text" : "number");
  body.Set("variablesReference", 0);
  Respond(r, std::move(body));
}

bool Session::RecordGroup(const Node& tree, int level, Handle* group) {
  FrameScope scope(*this, level);
  Place place;
  std::string ignored;
  if ((tree.kind == Node::Element || tree.kind == Node::Field) && Locate(tree, scope, &place, &ignored)) {
    // One record of an array of records (pts[2], ship.parts[1], a[0].parts[1]).
    if (place.type != kRecordElement) return false;
    group->kind = Handle::Record;
    group->level = level;
    group->base = place.address;
    group->layout = place.layout;
    group->expression = place.name;
    return true;
  }
  if (tree.kind == Node::Name) {
    // A record variable has no entry of its own, only its fields' "name.field" entries.
    Variable v;
    if (scope.Find(RegisteredName(tree.text), &v) || scope.Find(tree.text, &v)) return false;
    const std::string prefix = tree.text + ".";
    const std::vector<Variable>* locals = Locals(level);
    group->prefix = prefix;
    group->level = level;
    if (locals != nullptr && HasPrefix(*locals, prefix)) {
      group->kind = Handle::Locals;
      return true;
    }
    group->kind = Handle::Globals;
    group->level = -1;
    return HasPrefix(Globals(), prefix);
  }
  if (tree.kind == Node::Field && tree.args.size() == 1) {
    // A record inside a record of an array (pts[2].pos): its fields are flat, "pos.x".
    Place record;
    if (!Locate(*tree.args[0], scope, &record, &ignored) || record.type != kRecordElement) return false;
    std::vector<Variable> fields;
    if (!ReadRecordFields(tracer_, record.layout, record.address, &fields, &ignored)) return false;
    if (!HasPrefix(fields, tree.text + ".")) return false;
    group->kind = Handle::Record;
    group->level = level;
    group->base = record.address;
    group->layout = record.layout;
    group->expression = record.name;
    group->prefix = tree.text + ".";
    return true;
  }
  return false;
}

void Session::ExceptionInfo(const json::Value& r) {
  if (!reported_ || where_ != Where::Text) return Fail(r, "the program is not stopped at a failure");
  json::Value body = json::Value::MakeObject();
  body.Set("exceptionId", failureId_);
  body.Set("description", failureText_);
  body.Set("breakMode", "always");
  Respond(r, std::move(body));
}

}  // namespace dap
