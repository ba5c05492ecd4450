#pragma once
// The stand-ins for the NVIDIA driver's libraries write what they were asked
// to do into the file named by STANDIN_GPU_LEDGER, one line per event, so a
// test can check that the probe closed everything it opened.

#include <cstdio>
#include <cstdlib>

inline void LedgerWrite(const char* event) {
  const char* path = std::getenv("STANDIN_GPU_LEDGER");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s\n", event);
    std::fclose(file);
  }
}

inline int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}
