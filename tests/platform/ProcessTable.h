#pragma once
// What /proc says about processes, for tests that check that nothing a run
// started is left behind (zombies included).

#include <dirent.h>
#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mivora::test {

struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  pid_t group = 0;
  char state = '?';
  std::string name;  // the command name (at most 15 characters)
};

inline std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> processes;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return processes;
  while (dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid pgrp ..."; the name may hold blanks and parentheses.
    size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    ProcessEntry process;
    process.pid = static_cast<pid_t>(pid);
    process.name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    rest >> process.state >> process.parent >> process.group;
    processes.push_back(process);
  }
  ::closedir(proc);
  return processes;
}

inline std::vector<ProcessEntry> ProcessesInGroup(pid_t group) {
  std::vector<ProcessEntry> members;
  for (const ProcessEntry& p : ListProcesses())
    if (p.group == group) members.push_back(p);
  return members;
}

inline std::vector<ProcessEntry> ChildrenOf(pid_t parent) {
  std::vector<ProcessEntry> children;
  for (const ProcessEntry& p : ListProcesses())
    if (p.parent == parent) children.push_back(p);
  return children;
}

}  // namespace mivora::test
