// Command lines split into arguments by the Windows C runtime's rules.
#include <string>
#include <string_view>
#include <vector>

#include "external/declared.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> CommandLineArguments(std::string_view command) {
  std::vector<std::string> args;
  size_t at = 0;
  const size_t end = command.size();
  while (at < end && IsBlank(command[at])) ++at;
  if (at == end) return args;

  // The program name: quotes group, nothing escapes.
  std::string program;
  bool quoted = false;
  for (; at < end && (quoted || !IsBlank(command[at])); ++at) {
    if (command[at] == '"')
      quoted = !quoted;
    else
      program += command[at];
  }
  args.push_back(std::move(program));

  for (;;) {
    while (at < end && IsBlank(command[at])) ++at;
    if (at == end) break;
    std::string arg;
    quoted = false;
    while (at < end && (quoted || !IsBlank(command[at]))) {
      size_t backslashes = 0;
      while (at < end && command[at] == '\\') {
        ++backslashes;
        ++at;
      }
      if (at < end && command[at] == '"') {
        arg.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          arg += '"';
          ++at;
        } else if (quoted && at + 1 < end && command[at + 1] == '"') {
          arg += '"';
          at += 2;
        } else {
          quoted = !quoted;
          ++at;
        }
        continue;
      }
      arg.append(backslashes, '\\');
      if (at == end || (!quoted && IsBlank(command[at]))) break;
      arg += command[at++];
    }
    args.push_back(std::move(arg));
  }
  return args;
}
