// Checked arrays: the bounds report and failure, and the runtime's own element types compiled once.
#include "core/basic_array.h"

#include <cstdio>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/text.h"

// ---------------------------------------------------------------- bounds reports

void ReportBounds(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3) {
  const auto field = [](int32_t value) {
    return std::string("[") + Format(4, 0, value).c_str() + "]";
  };
  std::string bounds = field(a.d1);
  std::string access = field(i0);
  if (a.d2 > 0) {
    bounds += field(a.d2);
    access += field(i1);
    if (a.d3 > 0) {
      bounds += field(a.d3);
      access += field(i2);
      if (a.d4 > 0) {
        bounds += field(a.d4);
        access += field(i3);
      }
    }
  }
  const std::string boundsLine = "bounds: " + bounds + "\n";
  const std::string accessLine = "access: " + access + "\n";
  DebugOutput(boundsLine.c_str());
  DebugOutput(accessLine.c_str());
  ErrorOutput(boundsLine.c_str());
  ErrorOutput(accessLine.c_str());
}

void ArrayBoundsFailure(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3) {
  ReportBounds(a, i0, i1, 0, 0);
  ReportBounds(a, i0, i1, i2, 0);
  ReportBounds(a, i0, i1, i2, i3);
  // Without a debugger and without the run log, this line is what tells the
  // user where the program stopped.
  const std::string statement = StatementText(CurrentModule, CurrentLine);
  if (!statement.empty()) ErrorOutput(("statement: " + statement + "\n").c_str());
  EndWithErrorNoReturn(kErrorOutOfBounds);
}

void ArrayHeader::FailOutOfMemory() { EndWithError(kErrorOutOfMemory); }

// ---------------------------------------------------------------- the runtime's element types

template class BasicArray<double>;
template class BasicArray<int32_t>;
template class BasicArray<BasicString>;
template void DimArray(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
template void DimArray(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
template void DimArray(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
template void CopyArray(BasicArray<double>&, const BasicArray<double>&);
template void CopyArray(BasicArray<int32_t>&, const BasicArray<int32_t>&);
template void CopyArray(BasicArray<BasicString>&, const BasicArray<BasicString>&);
template void RedimPreserve(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
template void RedimPreserve(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
template void RedimPreserve(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
