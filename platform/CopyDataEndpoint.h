#pragma once
// Copy-data endpoints: the receiving side owned by a window, and the sending
// side used by helper programs. The message format is in CopyDataProtocol.h.
//
// Threads: an endpoint is read by one thread, the one its owner chooses: a
// receive loop on a worker thread, or a poll/socket notifier on Fd() with
// Receive(0) on the window's thread. Messages arrive whole and in the order
// one sender sent them. Only messages from processes of the same user are
// accepted.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CopyDataProtocol.h"

namespace mivora {

struct CopyDataMessage {
  uint32_t dataWord = 0;
  std::string payload;
  // The sender's socket address as received (empty when the sender's socket
  // has no name); where CopyDataEndpoint::Answer sends the frame answer.
  std::string senderAddress;
};

class CopyDataEndpoint {
 public:
  // Opens an endpoint under a number no other live endpoint on the machine
  // has. Null (and `error` filled) when no socket could be made.
  static std::unique_ptr<CopyDataEndpoint> Open(std::string* error = nullptr);
  ~CopyDataEndpoint();
  CopyDataEndpoint(const CopyDataEndpoint&) = delete;
  CopyDataEndpoint& operator=(const CopyDataEndpoint&) = delete;

  copydata::EndpointNumber Number() const { return number_; }
  // Readable while a message waits; for poll() or a socket notifier.
  int Fd() const { return fd_; }

  // The next message; waits up to `timeoutMs` (0: only what waits now,
  // negative: without limit). Empty when none came in time. Malformed,
  // oversized and foreign datagrams are dropped.
  std::optional<CopyDataMessage> Receive(int timeoutMs);

  // The frame answer: sends the message's data word back to its sender
  // without waiting. False when the sender has no name or is gone.
  bool Answer(const CopyDataMessage& message);

 private:
  CopyDataEndpoint(int fd, copydata::EndpointNumber number) : fd_(fd), number_(number) {}
  const int fd_;
  const copydata::EndpointNumber number_;
};

// Sends messages to endpoints by number. One sender per thread.
class CopyDataSender {
 public:
  CopyDataSender();
  ~CopyDataSender();
  CopyDataSender(const CopyDataSender&) = delete;
  CopyDataSender& operator=(const CopyDataSender&) = delete;

  // One message. False when no endpoint has that number, the payload is
  // longer than kMaxPayloadBytes, or the receiver's queue stayed full for
  // two seconds; the message is then dropped. Once a receiver has stalled,
  // messages are dropped without waiting until it takes one again.
  bool Send(copydata::EndpointNumber number, uint32_t dataWord, std::string_view payload);

 private:
  int fd_ = -1;
  bool receiverStalled_ = false;
};

// The player's side of frame announcements: a socket with a name of its own
// (so that answers can reach it) that announces frames to a window's endpoint
// and waits for the frame answer. One thread uses it.
class FrameAnnouncer {
 public:
  static std::unique_ptr<FrameAnnouncer> Open(std::string* error = nullptr);
  ~FrameAnnouncer();
  FrameAnnouncer(const FrameAnnouncer&) = delete;
  FrameAnnouncer& operator=(const FrameAnnouncer&) = delete;

  // Sends one announcement without payload. Answers left over from earlier
  // announcements are discarded first. False when no endpoint has that
  // number or its queue is full.
  bool Announce(copydata::EndpointNumber window, uint32_t dataWord);
  // Waits up to `timeoutMs` for the answer to the last announcement: a
  // datagram from that window's endpoint holding the same data word. False
  // when none came in time.
  bool AwaitAnswer(int timeoutMs);

 private:
  explicit FrameAnnouncer(int fd) : fd_(fd) {}
  // Reads one waiting datagram; true when it is the awaited answer.
  bool ReadAnswer();
  const int fd_;
  std::string windowAddress_;
  uint32_t awaitedWord_ = 0;
  bool awaiting_ = false;
};

}  // namespace mivora
