#include "tools/playrun/PlayerCommand.h"

#include <limits>

#include "common/Format.h"

namespace mivora::playrun {

ParsedPlayerCommand ParsePlayerCommand(const std::vector<std::string>& args) {
  ParsedPlayerCommand result;
  PlayerCommand& command = result.command;
  bool haveEndpoint = false, haveBlock = false;
  const size_t last = args.empty() ? 0 : args.size() - 1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (i == last) {
      command.file = arg;
      break;
    }
    const std::string& value = args[i + 1];
    long long number = 0;
    auto integer = [&](long long minimum, long long maximum) {
      if (ParseWholeNumber(value, minimum, maximum, &number)) return true;
      result.error = "bad value for " + arg + ": \"" + value + "\"";
      return false;
    };
    if (arg == "-framedrop" || arg == "-capyuv") {
      if (!integer(0, 1)) return result;
      (arg == "-framedrop" ? command.frameDrop : command.captureYuv) = number != 0;
    } else if (arg == "-hwnd") {
      if (!integer(1, 0x7FFFFFFF)) return result;
      command.windowEndpoint = static_cast<uint32_t>(number);
      haveEndpoint = true;
    } else if (arg == "-shmem") {
      if (value.empty() || value.find('/') != std::string::npos) {
        result.error = "bad shared block name \"" + value + "\"";
        return result;
      }
      command.blockName = value;
      haveBlock = true;
    } else if (arg == "-x" || arg == "-y") {
      if (!integer(0, 65535)) return result;
      (arg == "-x" ? command.windowWidth : command.windowHeight) = static_cast<int>(number);
    } else if (arg == "-frames") {
      if (!integer(0, std::numeric_limits<int>::max())) return result;
      command.frameLimit = static_cast<int>(number);
    } else if (arg == "-ptsoffset") {
      if (!integer(std::numeric_limits<int>::min(), std::numeric_limits<int>::max())) return result;
      command.ptsOffsetMs = static_cast<int>(number);
    } else {
      result.error = "unknown option \"" + arg + "\"";
      return result;
    }
    ++i;
  }
  if (command.file.empty()) {
    result.error = "no media file given";
  } else if (!haveEndpoint || !haveBlock) {
    result.error = "-hwnd and -shmem are needed";
  } else {
    result.ok = true;
  }
  return result;
}

}  // namespace mivora::playrun
