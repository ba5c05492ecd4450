// playrun: the player. Decodes a media file in real time, hands every frame
// to the window that started it through the shared block and plays the
// sound; see PlayerCommand.h for the command line, PlayrunExitCodes.h for
// its answers. PLAYRUN_TRACE=FILE writes a line per announced frame there.

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/CopyDataEndpoint.h"
#include "platform/PlayerSharedBlock.h"
#include "platform/SharedMemoryBlock.h"
#include "tools/playrun/AudioOutput.h"
#include "tools/playrun/DieWithParent.h"
#include "tools/playrun/MediaDecoder.h"
#include "tools/playrun/Player.h"
#include "tools/playrun/PlayerCommand.h"
#include "tools/playrun/PlayrunExitCodes.h"

int main(int argc, char** argv) {
  using namespace mivora;
  using namespace mivora::playrun;
  if (!DieWithParent()) return kExitParentGone;
  // The libraries' own notes stay out of the way; their errors still show.
  av_log_set_level(AV_LOG_ERROR);
  ParsedPlayerCommand parsed = ParsePlayerCommand(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "playrun: %s\n", parsed.error.c_str());
    return kExitBadCommandLine;
  }
  const PlayerCommand& command = parsed.command;
  std::string error;
  auto block = SharedMemoryBlock::Open(command.blockName, playerblock::kBlockBytes, &error);
  // The name is not needed any more: the block now ends with its last user.
  SharedMemoryBlock::Unlink(command.blockName);
  auto announcer = block ? FrameAnnouncer::Open(&error) : nullptr;
  if (!announcer) {
    std::fprintf(stderr, "playrun: %s\n", error.c_str());
    return kExitNoSharedBlock;
  }
  // A still of the first frames needs no sound.
  auto decoder = MediaDecoder::Open(command.file, command.frameLimit == 0, &error);
  if (!decoder) {
    std::fprintf(stderr, "playrun: %s\n", error.c_str());
    return kExitCannotPlay;
  }
  auto audio = AudioOutput::Open(decoder->AudioCodec());
  std::FILE* trace = nullptr;
  if (const char* tracePath = std::getenv("PLAYRUN_TRACE")) trace = std::fopen(tracePath, "w");
  Player player(command, block->Data(), *announcer, *decoder, audio.get(), trace);
  int code = player.Run();
  if (trace) std::fclose(trace);
  return code;
}
