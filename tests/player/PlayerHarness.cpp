#include "tests/player/PlayerHarness.h"

extern "C" {
#include <libavutil/md5.h>
}

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/PlayerSharedBlock.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {

std::string PlayerPath() { return std::string(MIVORA_PROGRAM_DIR) + "/playrun"; }

std::string Md5Hex(const uint8_t* data, size_t size) {
  uint8_t digest[16];
  av_md5_sum(digest, data, size);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

std::vector<std::string> FfmpegFrameMd5s(const std::string& media) {
  CommandResult r = RunCommand({"ffmpeg", "-hide_banner", "-v", "error", "-nostdin", "-i",
                                "file:" + media, "-map", "0:v:0", "-f", "framemd5", "-pix_fmt",
                                "yuv420p", "-"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> md5s;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t comma = line.rfind(',');
    if (comma == std::string::npos) continue;
    std::string md5 = line.substr(comma + 1);
    md5.erase(0, md5.find_first_not_of(' '));
    md5s.push_back(md5);
  }
  return md5s;
}

std::vector<uint8_t> FfmpegFirstFrameYuv(const std::string& media, const std::string& filters, int width,
                                         int height) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-v", "error", "-nostdin", "-i", "file:" + media};
  if (!filters.empty()) argv.insert(argv.end(), {"-vf", filters});
  const std::string out = media + ".first.yuv";
  argv.insert(argv.end(), {"-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-y", "file:" + out});
  CommandResult r = RunCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<uint8_t> yuv(static_cast<size_t>(width) * height * 3 / 2);
  FILE* f = std::fopen(out.c_str(), "rb");
  if (f == nullptr) return {};
  const size_t got = std::fread(yuv.data(), 1, yuv.size(), f);
  const bool more = std::fgetc(f) != EOF;
  std::fclose(f);
  std::remove(out.c_str());
  EXPECT_FALSE(more) << "ffmpeg's frame is larger than " << width << "x" << height;
  if (got != yuv.size()) yuv.clear();
  return yuv;
}

double LumaPsnr(const uint8_t* a, const uint8_t* b, size_t pixels) {
  double sum = 0;
  for (size_t i = 0; i < pixels; ++i) sum += double(a[i] - b[i]) * double(a[i] - b[i]);
  if (pixels == 0 || sum == 0) return 100;
  return 10 * std::log10(255.0 * 255.0 / (sum / pixels));
}

StatusPieces ParseStatus(const std::string& status) {
  StatusPieces pieces;
  size_t slash = status.find('/');
  if (slash != std::string::npos) pieces.elapsed = status.substr(0, slash);
  auto between = [&](char open, char close) -> long {
    size_t a = status.find(open);
    size_t b = a == std::string::npos ? a : status.find(close, a);
    return b == std::string::npos ? -1 : std::atol(status.c_str() + a + 1);
  };
  pieces.position = between('(', ')');
  pieces.duration = between('[', ']');
  size_t open = status.find('<'), cross = status.find('x', open == std::string::npos ? 0 : open);
  if (open != std::string::npos && cross != std::string::npos) {
    pieces.width = std::atol(status.c_str() + open + 1);
    pieces.height = std::atol(status.c_str() + cross + 1);
  }
  return pieces;
}

PlayerHarness::PlayerHarness(const std::string& media, std::vector<std::string> extraArgs) {
  static int serial = 0;
  blockName_ = "_scshare_test" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
  std::string error;
  block_ = SharedMemoryBlock::Create(blockName_, playerblock::kBlockBytes, &error);
  EXPECT_TRUE(block_) << error;
  endpoint_ = CopyDataEndpoint::Open(&error);
  EXPECT_TRUE(endpoint_) << error;
  if (!block_ || !endpoint_) return;
  std::vector<std::string> argv = {PlayerPath(), "-framedrop", "0", "-capyuv", "1", "-hwnd",
                                   std::to_string(endpoint_->Number()), "-shmem", blockName_,
                                   "-x", "320", "-y", "240", "-ptsoffset", "0"};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  argv.push_back(media);
  ChildOptions options;
  options.stdio.error = 2;
  options.environment = {"SDL_AUDIODRIVER=dummy", "MIVORA_PARENT_PID=" + std::to_string(::getpid())};
  player_ = ChildProcess::Start(argv, options, &error);
  EXPECT_TRUE(player_) << error;
}

PlayerHarness::~PlayerHarness() {
  if (player_) {
    player_->TerminateGroup();
    player_->Wait();
  }
  SharedMemoryBlock::Unlink(blockName_);
}

std::string PlayerHarness::Status() const {
  const char* text = reinterpret_cast<const char*>(block_->Data() + playerblock::kStatusOffset);
  return std::string(text, strnlen(text, playerblock::kStatusBytes));
}

void PlayerHarness::Request(size_t offset, int32_t value) {
  playerblock::StoreField(playerblock::Field(block_->Data(), offset), value);
}

std::optional<ReceivedFrame> PlayerHarness::NextFrame(int timeoutMs) {
  std::optional<CopyDataMessage> message = endpoint_->Receive(timeoutMs);
  if (!message) return std::nullopt;
  ReceivedFrame frame;
  frame.at = std::chrono::steady_clock::now();
  frame.width = static_cast<int>(copydata::FrameWidth(message->dataWord));
  frame.height = static_cast<int>(copydata::FrameHeight(message->dataWord));
  const size_t bytes = playerblock::FrameBytes(frame.width, frame.height);
  EXPECT_LE(bytes, playerblock::kFrameCapacity);
  if (bytes <= playerblock::kFrameCapacity) {
    const uint8_t* data = block_->Data() + playerblock::kFrameOffset;
    frame.md5 = Md5Hex(data, bytes);
    frame.yuv.assign(data, data + bytes);
    double sum = 0;
    const size_t luma = size_t(frame.width) * frame.height;
    for (size_t i = 0; i < luma; ++i) sum += data[i];
    frame.meanLuma = luma ? sum / luma : 0;
  }
  frame.status = Status();
  uint8_t* block = block_->Data();
  frame.colour = playerblock::LoadField(playerblock::Field(block, playerblock::kFrameColourOffset));
  frame.shapeWidth = playerblock::LoadField(playerblock::Field(block, playerblock::kShapeWidthOffset));
  frame.shapeHeight = playerblock::LoadField(playerblock::Field(block, playerblock::kShapeHeightOffset));
  if (answering_) endpoint_->Answer(*message);
  return frame;
}

std::vector<ReceivedFrame> PlayerHarness::AllFrames(int* exitCode) {
  std::vector<ReceivedFrame> frames;
  while (true) {
    if (auto frame = NextFrame(50)) {
      frames.push_back(*frame);
      continue;
    }
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(player_->Pid()), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid == player_->Pid())
      break;
  }
  *exitCode = player_->Wait();
  // Announcements sent just before the end.
  while (auto frame = NextFrame(0)) frames.push_back(*frame);
  return frames;
}

}  // namespace mivora::test
