#pragma once
// The subcommands of mivora-cli. Each takes the arguments after its name and
// returns the process exit status.

#include <string>
#include <vector>

namespace mivora::cli {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const Args& args);
};

// Every subcommand, in the order `mivora-cli help` lists them.
const std::vector<Command>& Commands();

int RunGpu(const Args& args);
int RunConvert(const Args& args);
int RunProbe(const Args& args);
int RunDemo(const Args& args);
int RunProfiles(const Args& args);
int RunArgs(const Args& args);
int RunAdjust(const Args& args);

}  // namespace mivora::cli
