// Feeds arbitrary text as a command line to the splitter RunProgram uses:
// whatever comes out, quoting the arguments again by the same rules and
// splitting that gives the same arguments back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "external/declared.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

namespace {

// The program name cannot hold a quote; quotes around it group blanks.
std::string QuoteProgram(const std::string& name) { return "\"" + name + "\""; }

// Backslashes are doubled where a quote follows them (an escaped quote, or
// the closing one); elsewhere they stand for themselves.
std::string QuoteArgument(const std::string& arg) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(2 * backslashes + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view command(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> args = CommandLineArguments(command);
  if (args.empty()) return 0;
  Check(args[0].find('"') == std::string::npos, "a quote left in the program name");
  std::string again = QuoteProgram(args[0]);
  for (size_t i = 1; i < args.size(); ++i) again += (i % 2 == 0 ? "\t" : " ") + QuoteArgument(args[i]);
  Check(CommandLineArguments(again) == args, "quoted arguments do not split back into themselves");
  return 0;
}
