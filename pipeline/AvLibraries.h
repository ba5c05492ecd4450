#pragma once
// FFmpeg's libavformat, libavcodec and libavutil, opened at run time (the
// major versions this program was built against) by every part that reads
// media in its own process: the probe, the read-back of outputs, the
// engine adapter when it must read a source itself, and the player's safe
// opening of files (the player links them: opening finds them loaded, and
// their messages go the same way as everywhere). Loading them on first
// use keeps their cost away from commands, windows and engine runs that
// never read media.
//
// This is also the one place that sets the libraries' process-wide state:
// their log goes through one callback, installed with the load. A thread
// inside an AvLogCapture collects the messages of its own calls, as the
// engine would print them; every other message is dropped (what went wrong
// is this program's to say, in its own words and log; the engine's ffmpeg
// reports a source's faults itself).

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace mivora {

// The entry points used, from the libraries the headers belong to.
struct AvLibrary {
  bool loaded = false;
  std::string error;  // why they could not be loaded; empty when they were
  // libavformat
  decltype(&avformat_alloc_context) allocContext = nullptr;
  decltype(&avformat_open_input) openInput = nullptr;
  decltype(&avformat_find_stream_info) findStreamInfo = nullptr;
  decltype(&avformat_close_input) closeInput = nullptr;
  decltype(&av_dump_format) dumpFormat = nullptr;
  decltype(&avio_open2) openIo = nullptr;
  decltype(&av_read_frame) readFrame = nullptr;
  decltype(&av_guess_sample_aspect_ratio) guessSampleAspect = nullptr;
  decltype(&av_stream_get_side_data) streamSideData = nullptr;
  // libavcodec
  decltype(&avcodec_find_decoder) findDecoder = nullptr;
  decltype(&avcodec_alloc_context3) allocDecoder = nullptr;
  decltype(&avcodec_parameters_to_context) copyParameters = nullptr;
  decltype(&avcodec_open2) openDecoder = nullptr;
  decltype(&avcodec_send_packet) sendPacket = nullptr;
  decltype(&avcodec_receive_frame) receiveFrame = nullptr;
  decltype(&avcodec_free_context) freeDecoder = nullptr;
  decltype(&av_packet_alloc) allocPacket = nullptr;
  decltype(&av_packet_unref) unrefPacket = nullptr;
  decltype(&av_packet_free) freePacket = nullptr;
  // libavutil
  decltype(&av_dict_set) dictSet = nullptr;
  decltype(&av_dict_free) dictFree = nullptr;
  decltype(&av_strerror) errorText = nullptr;
  decltype(&av_channel_layout_default) defaultLayout = nullptr;
  decltype(&av_log_set_callback) setLogCallback = nullptr;
  decltype(&av_log_format_line2) formatLogLine = nullptr;
  decltype(&av_pix_fmt_desc_get) describePixelFormat = nullptr;
  decltype(&av_display_rotation_get) displayRotation = nullptr;
  decltype(&av_frame_alloc) allocFrame = nullptr;
  decltype(&av_frame_free) freeFrame = nullptr;
  decltype(&av_frame_get_side_data) frameSideData = nullptr;

  std::string ErrorText(int code) const;
};

// Loaded (and the log routed) on the first call, from any thread.
const AvLibrary& AvLibraries();

// While alive, the calling thread's library messages up to the engine's
// default level are kept in Text(), as the engine would print them.
class AvLogCapture {
 public:
  AvLogCapture();
  ~AvLogCapture();
  AvLogCapture(const AvLogCapture&) = delete;
  AvLogCapture& operator=(const AvLogCapture&) = delete;

  std::string& Text() { return text_; }
  // For the log callback: adds one formatted message.
  void Keep(const char* line);
  int printPrefix = 1;  // libavutil's state: the next message starts a line

 private:
  AvLogCapture* previous_;
  std::string text_;
};

}  // namespace mivora
