#pragma once
// The player's command line, as the preview library writes it:
//   playrun -framedrop 0 -capyuv 1 -hwnd N -shmem NAME -x W -y H -ptsoffset MS [-frames N] FILE
// Options may come in any order; the file is the last argument (so a file
// whose name looks like an option is still the file).

#include <cstdint>
#include <string>
#include <vector>

namespace mivora::playrun {

struct PlayerCommand {
  bool frameDrop = false;    // -framedrop: drop frames that are late
  bool captureYuv = true;    // -capyuv: hand frames over through the block
  uint32_t windowEndpoint = 0;  // -hwnd: the window's copy-data endpoint
  std::string blockName;     // -shmem: the shared block's name
  int windowWidth = 0;       // -x, -y: the window's size when playing starts
  int windowHeight = 0;
  // -ptsoffset: accepted (the library gives 1000 for .flv files) and not
  // needed: positions are measured from the file's own start time.
  int ptsOffsetMs = 0;
  // -frames: end after handing over this many video frames, silently (the
  // window's still of the first frame); 0 plays the whole file.
  int frameLimit = 0;
  std::string file;
};

struct ParsedPlayerCommand {
  bool ok = false;
  std::string error;  // what is wrong, when not ok
  PlayerCommand command;
};

ParsedPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args);

}  // namespace mivora::playrun
