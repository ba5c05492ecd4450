#include "tools/trancor/EngineCommand.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "common/Format.h"

namespace mivora::trancor {
namespace {

// Each option takes one value, except the switches.
struct OptionRule {
  std::string_view name;
  bool takesValue;
  // Stores the value; false when it is not acceptable.
  std::function<bool(EngineCommand&, const std::string&)> store;
};

auto Text(std::string EngineCommand::*field) {
  return [field](EngineCommand& c, const std::string& v) {
    c.*field = v;
    return true;
  };
}

auto Integer(int EngineCommand::*field, long long min, long long max) {
  return [=](EngineCommand& c, const std::string& v) {
    long long n;
    if (!ParseWholeNumber(v, min, max, &n)) return false;
    c.*field = static_cast<int>(n);
    return true;
  };
}

bool StoreWindow(EngineCommand& c, const std::string& v) {
  long long n;
  if (!ParseWholeNumber(v, 0, 0xFFFFFFFFLL, &n)) return false;
  c.hwnd = static_cast<uint32_t>(n);
  return true;
}

bool StoreTarget(EngineCommand& c, const std::string& v) {
  if (v != "ntsc-dvd" && v != "ntsc-svcd" && v != "ntsc-vcd" && v != "pal-dvd" && v != "pal-svcd" &&
      v != "pal-vcd" && v != "film-dvd")
    return false;
  c.target = v;
  return true;
}

bool StoreVolume(EngineCommand& c, const std::string& v) {
  long long n;
  if (!ParseWholeNumber(v, 0, 1 << 20, &n)) return false;
  c.volume = static_cast<int>(n);
  return true;
}

// A pixel format is one short word of letters, digits and underscores.
bool StorePixelFormat(EngineCommand& c, const std::string& v) {
  if (v.empty() || v.size() > 32) return false;
  for (char ch : v)
    if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
  c.pixelFormat = v;
  return true;
}

bool AddVideoFilter(EngineCommand& c, const std::string& v) {
  c.videoFilters.push_back(v);
  return true;
}

bool StoreSourceFacts(EngineCommand& c, const std::string& v) {
  c.sourceFacts = ReadSourceFactsWord(v);
  return c.sourceFacts.has_value();
}

auto Switch(bool EngineCommand::*field) {
  return [field](EngineCommand& c, const std::string&) { return c.*field = true; };
}

const std::vector<OptionRule>& Options() {
  static const std::vector<OptionRule> rules = {
      {"-i", true, Text(&EngineCommand::input)},
      {"-hwnd", true, StoreWindow},
      {"-dxva2", true, Integer(&EngineCommand::dxva2, 0, 1 << 30)},
      {"-d3dmode", true, Integer(&EngineCommand::d3dMode, 0, 1 << 30)},
      {"-d3ddepth", true, Integer(&EngineCommand::d3dDepth, -(1 << 30), 1 << 30)},
      {"-target", true, StoreTarget},
      {"-b", true, Text(&EngineCommand::videoBitrate)},
      {"-r", true, Text(&EngineCommand::frameRate)},
      {"-aspect", true, Text(&EngineCommand::aspect)},
      {"-s", true, Text(&EngineCommand::size)},
      {"-vcodec", true, Text(&EngineCommand::videoCodec)},
      {"-ab", true, Text(&EngineCommand::audioBitrate)},
      {"-ar", true, Text(&EngineCommand::sampleRate)},
      {"-ac", true, Text(&EngineCommand::channels)},
      {"-acodec", true, Text(&EngineCommand::audioCodec)},
      {"-vol", true, StoreVolume},
      {"-an", false, Switch(&EngineCommand::noAudio)},
      {"-vn", false, Switch(&EngineCommand::noVideo)},
      {"-fixedframe", false, Switch(&EngineCommand::fixedFrame)},
      {"-strict", true, Text(&EngineCommand::strict)},
      {"-pix_fmt", true, StorePixelFormat},
      {"-vf", true, AddVideoFilter},
      {"-sourcefacts", true, StoreSourceFacts},
      {"-ss", true, Text(&EngineCommand::seek)},
      {"-t", true, Text(&EngineCommand::length)},
  };
  return rules;
}

const OptionRule* FindRule(std::string_view name) {
  for (const OptionRule& rule : Options())
    if (rule.name == name) return &rule;
  return nullptr;
}

}  // namespace

ParsedCommand ParseEngineCommand(const std::vector<std::string>& args) {
  ParsedCommand result;
  EngineCommand& command = result.command;
  if (args.size() == 2 && args[0] == "-i") {
    command.probe = true;
    command.input = args[1];
    result.ok = !command.input.empty();
    if (!result.ok) result.error = "the input file name is empty";
    return result;
  }
  if (args.size() < 3) {
    result.error = "usage: trancor -i SOURCE [OPTION...] OUTPUT";
    return result;
  }
  command.output = args.back();
  size_t optionCount = args.size() - 1;
  bool inputSeen = false;
  for (size_t i = 0; i < optionCount; ++i) {
    const std::string& name = args[i];
    const OptionRule* rule = FindRule(name);
    if (rule == nullptr) {
      result.error = "unknown option \"" + name + "\"";
      return result;
    }
    std::string value;
    if (rule->takesValue) {
      if (i + 1 >= optionCount) {
        result.error = "option " + name + " needs a value";
        return result;
      }
      value = args[++i];
    }
    if (name == "-i") {
      if (inputSeen) {
        result.error = "more than one input";
        return result;
      }
      inputSeen = true;
    }
    if (!rule->store(command, value)) {
      result.error = "invalid value \"" + value + "\" for " + name;
      return result;
    }
  }
  if (!inputSeen || command.input.empty()) {
    result.error = "no input file given (-i)";
    return result;
  }
  if (command.output.empty()) {
    result.error = "the output file name is empty";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace mivora::trancor
