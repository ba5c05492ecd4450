#pragma once
// The copy-data messages that helper programs (the engine adapter, the
// player) send to a window of the program, shared by both sides.
//
// A window owns an endpoint named by a number N (its "window handle" on the
// helper's command line). The endpoint is a Unix datagram socket in the
// abstract namespace named "mivora-copydata-N". One datagram is one message:
//   bytes 0..3  the data word, little-endian
//   bytes 4..   the payload
// Engine console text: data word kEngineTextWord, payload one record of the
// engine's console text (no terminator). Player frame announcement: data word
// FrameWord(width, height), no payload.
//
// The frame answer. The player sends each frame announcement from a datagram
// socket of its own with a name in the abstract namespace (any name; the
// system's automatic one will do). The window, once it has handled the
// announcement (taken the frame out of the shared block and, when a frame
// callback is set, returned from it), sends one datagram back to the
// sender's address holding the same 4-byte data word and no payload. The
// player writes no next frame into the shared block before that answer came
// or kFrameAnswerTimeoutMs passed; an answer that comes later is ignored.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mivora::copydata {

using EndpointNumber = uint32_t;

constexpr uint32_t kEngineTextWord = 0;
constexpr size_t kHeaderBytes = 4;
// The largest payload one message carries; longer texts are sent in pieces.
constexpr size_t kMaxPayloadBytes = 32 * 1024;
// Endpoint numbers are positive and fit a signed 32-bit value, like the
// window handles the command lines were made for.
constexpr EndpointNumber kMaxEndpointNumber = 0x7FFFFFFF;

// How long a player waits for the answer to one frame announcement.
constexpr int kFrameAnswerTimeoutMs = 1000;
// Frame sides travel as 16-bit numbers.
constexpr uint32_t kMaxFrameSide = 0xFFFF;

inline uint32_t FrameWord(uint32_t width, uint32_t height) {
  return (width << 16) | (height & 0xFFFF);
}
inline uint32_t FrameWidth(uint32_t word) { return word >> 16; }
inline uint32_t FrameHeight(uint32_t word) { return word & 0xFFFF; }

inline std::string EndpointName(EndpointNumber number) {
  return "mivora-copydata-" + std::to_string(number);
}

inline std::string EncodeMessage(uint32_t dataWord, std::string_view payload) {
  std::string datagram(kHeaderBytes, '\0');
  for (size_t i = 0; i < kHeaderBytes; ++i)
    datagram[i] = static_cast<char>((dataWord >> (8 * i)) & 0xFF);
  datagram.append(payload);
  return datagram;
}

// False for a datagram too short to hold the data word.
inline bool DecodeMessage(std::string_view datagram, uint32_t* dataWord, std::string* payload) {
  if (datagram.size() < kHeaderBytes) return false;
  uint32_t word = 0;
  for (size_t i = 0; i < kHeaderBytes; ++i)
    word |= static_cast<uint32_t>(static_cast<unsigned char>(datagram[i])) << (8 * i);
  *dataWord = word;
  payload->assign(datagram.substr(kHeaderBytes));
  return true;
}

}  // namespace mivora::copydata
