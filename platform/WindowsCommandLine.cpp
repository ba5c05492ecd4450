#include "platform/WindowsCommandLine.h"

namespace mivora {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(std::string_view text, size_t i) {
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

// Reads one argument starting at `i` (not a blank); returns the index after it.
size_t ReadArgument(std::string_view text, size_t i, std::string* out) {
  bool quoted = false;
  while (i < text.size()) {
    char c = text[i];
    if (!quoted && IsBlank(c)) break;
    if (c == '\\') {
      size_t run = 0;
      while (i < text.size() && text[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < text.size() && text[i] == '"') {
        out->append(run / 2, '\\');
        if (run % 2 == 1) {
          out->push_back('"');
          ++i;
        }
        // An even run leaves the quote to switch quoting below.
      } else {
        out->append(run, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        out->push_back('"');
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return i;
}

void AppendArguments(std::string_view text, size_t i, std::vector<std::string>* args) {
  while (true) {
    i = SkipBlanks(text, i);
    if (i >= text.size()) return;
    std::string arg;
    i = ReadArgument(text, i, &arg);
    args->push_back(std::move(arg));
  }
}

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(std::string_view commandLine) {
  std::vector<std::string> args;
  size_t i = SkipBlanks(commandLine, 0);
  if (i >= commandLine.size()) return args;
  std::string program;
  if (commandLine[i] == '"') {
    size_t close = commandLine.find('"', i + 1);
    size_t end = close == std::string_view::npos ? commandLine.size() : close;
    program.assign(commandLine.substr(i + 1, end - i - 1));
    i = close == std::string_view::npos ? end : close + 1;
  } else {
    size_t start = i;
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    program.assign(commandLine.substr(start, i - start));
  }
  args.push_back(std::move(program));
  AppendArguments(commandLine, i, &args);
  return args;
}

std::vector<std::string> SplitWindowsArguments(std::string_view text) {
  std::vector<std::string> args;
  AppendArguments(text, 0, &args);
  return args;
}

std::string QuoteWindowsArgument(std::string_view argument) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Double the pending backslashes and escape the quote itself.
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quote must be doubled.
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

}  // namespace mivora
