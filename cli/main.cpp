// mivora-cli: probe sources, list profiles, show engine arguments and convert
// lists of files, all through the same core the desktop program uses.

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/CliCommands.h"
#include "common/Folders.h"

namespace {

int PrintUsage(FILE* out) {
  std::fprintf(out, "usage: mivora-cli COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& command : mivora::cli::Commands()) std::fprintf(out, "  %s\n", command.usage);
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Numbers in files and engine texts are always read and written in the C locale.
  std::setlocale(LC_ALL, "C");
  mivora::AppDataFolder("Mivora");
  // What killed runs of the program left in the temporary folder goes first.
  mivora::RemoveLeftoversOfEndedProcesses();
  if (argc < 2) return PrintUsage(stderr);
  if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0)
    return PrintUsage(stdout);
  mivora::cli::Args args(argv + 2, argv + argc);
  for (const auto& command : mivora::cli::Commands())
    if (std::strcmp(argv[1], command.name) == 0) return command.run(args);
  std::fprintf(stderr, "mivora-cli: unknown command \"%s\"\n", argv[1]);
  return PrintUsage(stderr);
}
