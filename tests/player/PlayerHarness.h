#pragma once
// Plays a file through the real playrun as a window would: makes the shared
// block and an endpoint, starts the player, takes each announced frame out of
// the block (its MD5 and the status text at that moment) and answers it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/CopyDataEndpoint.h"
#include "platform/SharedMemoryBlock.h"

namespace mivora::test {

struct ReceivedFrame {
  int width = 0, height = 0;
  std::string md5;     // of Y, U and V as they lie in the block
  std::string status;  // the status text when the frame was announced
  double meanLuma = 0;
  std::vector<uint8_t> yuv;  // Y, U and V as they lay in the block
  int colour = -1;           // the block's frame colour field then
  int shapeWidth = 0, shapeHeight = 0;  // the block's picture shape then
  std::chrono::steady_clock::time_point at;
};

class PlayerHarness {
 public:
  // Starts playrun for `media`; `extraArgs` come before the file.
  explicit PlayerHarness(const std::string& media, std::vector<std::string> extraArgs = {});
  ~PlayerHarness();

  bool Started() const { return player_ != nullptr; }
  pid_t Pid() const { return player_ ? player_->Pid() : 0; }
  // The next announced frame, answered; empty when none came within
  // `timeoutMs`.
  std::optional<ReceivedFrame> NextFrame(int timeoutMs = 3000);
  // Every frame up to the player's end, then its exit code.
  std::vector<ReceivedFrame> AllFrames(int* exitCode);
  int Wait() { return player_->Wait(); }
  // Writes a control field of the block as the library does.
  void Request(size_t offset, int32_t value);
  std::string Status() const;
  // Leave announcements unanswered (to see the player wait).
  void SetAnswering(bool answer) { answering_ = answer; }

 private:
  std::unique_ptr<SharedMemoryBlock> block_;
  std::string blockName_;
  std::unique_ptr<CopyDataEndpoint> endpoint_;
  std::unique_ptr<ChildProcess> player_;
  bool answering_ = true;
};

std::string PlayerPath();
// MD5 (hex) of each video frame as ffmpeg decodes it to YUV 4:2:0.
std::vector<std::string> FfmpegFrameMd5s(const std::string& media);
std::string Md5Hex(const uint8_t* data, size_t size);
// The first video frame as ffmpeg gives it through `filters` (a -vf chain;
// empty for none), as YUV 4:2:0 of `width` x `height`; empty on failure.
std::vector<uint8_t> FfmpegFirstFrameYuv(const std::string& media, const std::string& filters, int width,
                                         int height);
// Peak signal-to-noise ratio of two luma planes of `pixels` samples, in dB
// (100 for equal planes).
double LumaPsnr(const uint8_t* a, const uint8_t* b, size_t pixels);

// The numbers in a status text: position and duration (ms), frame size.
struct StatusPieces {
  std::string elapsed;
  long position = -1, duration = -1, width = -1, height = -1;
};
StatusPieces ParseStatus(const std::string& status);

}  // namespace mivora::test
