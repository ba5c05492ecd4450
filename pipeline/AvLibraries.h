#pragma once
// FFmpeg's libavformat and libavutil, opened at run time (the major versions
// this program was built against) by the parts that read media in this
// process: the probe and the read-back of outputs. Loading them on first use
// keeps their cost away from commands and windows that never read media.

#include <dlfcn.h>

#include <string>

namespace mivora {

struct AvLibraries {
  void* format = nullptr;  // libavformat
  void* util = nullptr;    // libavutil
  std::string names;       // both names, for messages
  std::string error;       // why they could not be opened; empty when both are
};

AvLibraries OpenAvLibraries();

// Looks up one entry point; false when the library lacks it.
template <typename Function>
bool FindAvEntry(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(::dlsym(library, name));
  return *function != nullptr;
}

}  // namespace mivora
