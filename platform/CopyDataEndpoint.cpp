#include "platform/CopyDataEndpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace mivora {
namespace {

// How long a sender waits for a receiver whose queue is full.
constexpr int kSendTimeoutMs = 2000;
constexpr int kMaxBindAttempts = 64;

socklen_t MakeAddress(copydata::EndpointNumber number, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  // Abstract namespace: a leading NUL, then the name (no terminator).
  std::string name = copydata::EndpointName(number);
  std::memcpy(address->sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

std::string AddressBytes(copydata::EndpointNumber number) {
  sockaddr_un address;
  socklen_t length = MakeAddress(number, &address);
  return std::string(reinterpret_cast<const char*>(&address), length);
}

// The uid in a datagram's credentials, or -1 when it carries none.
long SenderUid(msghdr* message) {
  for (cmsghdr* header = CMSG_FIRSTHDR(message); header != nullptr;
       header = CMSG_NXTHDR(message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials;
      std::memcpy(&credentials, CMSG_DATA(header), sizeof credentials);
      return static_cast<long>(credentials.uid);
    }
  }
  return -1;
}

// One datagram as read from a socket whose datagrams carry credentials.
struct Datagram {
  ssize_t bytes = -1;          // -1 (errno set) when nothing was read
  bool truncated = false;      // larger than the buffer given
  long senderUid = -1;         // -1 when it carries no credentials
  std::string senderAddress;   // empty for an unnamed sender
};

Datagram ReceiveDatagram(int fd, char* data, size_t size) {
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  iovec io{data, size};
  sockaddr_un sender{};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  Datagram datagram;
  datagram.bytes = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  if (datagram.bytes < 0) return datagram;
  datagram.truncated = (message.msg_flags & MSG_TRUNC) != 0;
  datagram.senderUid = SenderUid(&message);
  // An unnamed sender's address is the family field alone.
  if (message.msg_namelen > offsetof(sockaddr_un, sun_path))
    datagram.senderAddress.assign(reinterpret_cast<const char*>(&sender), message.msg_namelen);
  return datagram;
}

copydata::EndpointNumber RandomNumber() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<copydata::EndpointNumber> pick(1, copydata::kMaxEndpointNumber);
  return pick(generator);
}

// A non-blocking datagram socket whose datagrams carry their sender's
// credentials; -1 with `error` set when none can be made.
int OpenDatagramSocket(std::string* error) {
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    if (error) *error = std::string("cannot create a socket: ") + std::strerror(errno);
    return -1;
  }
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  return fd;
}

}  // namespace

std::unique_ptr<CopyDataEndpoint> CopyDataEndpoint::Open(std::string* error) {
  int fd = OpenDatagramSocket(error);
  if (fd < 0) return nullptr;
  for (int attempt = 0; attempt < kMaxBindAttempts; ++attempt) {
    copydata::EndpointNumber number = RandomNumber();
    sockaddr_un address;
    socklen_t length = MakeAddress(number, &address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0)
      return std::unique_ptr<CopyDataEndpoint>(new CopyDataEndpoint(fd, number));
    if (errno != EADDRINUSE) break;
  }
  if (error) *error = std::string("cannot name an endpoint: ") + std::strerror(errno);
  ::close(fd);
  return nullptr;
}

CopyDataEndpoint::~CopyDataEndpoint() { ::close(fd_); }

std::optional<CopyDataMessage> CopyDataEndpoint::Receive(int timeoutMs) {
  std::vector<char> buffer(copydata::kHeaderBytes + copydata::kMaxPayloadBytes);
  while (true) {
    Datagram datagram = ReceiveDatagram(fd_, buffer.data(), buffer.size());
    if (datagram.bytes < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return std::nullopt;
      if (timeoutMs == 0) return std::nullopt;
      pollfd ready{fd_, POLLIN, 0};
      int rc = ::poll(&ready, 1, timeoutMs < 0 ? -1 : timeoutMs);
      if (rc < 0 && errno == EINTR) continue;
      if (rc <= 0) return std::nullopt;
      // Only the first wait counts against the limit; what arrived is read now.
      timeoutMs = 0;
      continue;
    }
    if (datagram.truncated) continue;  // larger than any message may be
    if (datagram.senderUid != static_cast<long>(::getuid())) continue;
    CopyDataMessage result;
    if (!copydata::DecodeMessage(std::string_view(buffer.data(), static_cast<size_t>(datagram.bytes)),
                                 &result.dataWord, &result.payload))
      continue;
    result.senderAddress = std::move(datagram.senderAddress);
    return result;
  }
}

bool CopyDataEndpoint::Answer(const CopyDataMessage& message) {
  if (message.senderAddress.empty() || message.senderAddress.size() > sizeof(sockaddr_un))
    return false;
  sockaddr_un address{};
  std::memcpy(&address, message.senderAddress.data(), message.senderAddress.size());
  std::string datagram = copydata::EncodeMessage(message.dataWord, {});
  while (true) {
    ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                            reinterpret_cast<sockaddr*>(&address),
                            static_cast<socklen_t>(message.senderAddress.size()));
    if (sent >= 0) return true;
    if (errno != EINTR) return false;
  }
}

CopyDataSender::CopyDataSender() {
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0) {
    timeval limit{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
}

CopyDataSender::~CopyDataSender() {
  if (fd_ >= 0) ::close(fd_);
}

bool CopyDataSender::Send(copydata::EndpointNumber number, uint32_t dataWord,
                          std::string_view payload) {
  if (fd_ < 0 || payload.size() > copydata::kMaxPayloadBytes) return false;
  std::string datagram = copydata::EncodeMessage(dataWord, payload);
  sockaddr_un address;
  socklen_t length = MakeAddress(number, &address);
  // After one send has timed out, later ones do not wait until the receiver
  // takes a message again, so a stalled window slows the sender only once.
  int flags = MSG_NOSIGNAL | (receiverStalled_ ? MSG_DONTWAIT : 0);
  while (true) {
    ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), flags,
                            reinterpret_cast<sockaddr*>(&address), length);
    if (sent >= 0) {
      receiverStalled_ = false;
      return static_cast<size_t>(sent) == datagram.size();
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) receiverStalled_ = true;
    return false;
  }
}

std::unique_ptr<FrameAnnouncer> FrameAnnouncer::Open(std::string* error) {
  int fd = OpenDatagramSocket(error);
  if (fd < 0) return nullptr;
  // Binding with the family alone gives the socket a fresh abstract name.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(sa_family_t)) != 0) {
    if (error) *error = std::string("cannot name the announcing socket: ") + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<FrameAnnouncer>(new FrameAnnouncer(fd));
}

FrameAnnouncer::~FrameAnnouncer() { ::close(fd_); }

bool FrameAnnouncer::ReadAnswer() {
  char buffer[copydata::kHeaderBytes + 16];
  Datagram datagram = ReceiveDatagram(fd_, buffer, sizeof buffer);
  if (datagram.bytes < 0) return false;
  if (!awaiting_ || datagram.senderUid != static_cast<long>(::getuid())) return false;
  if (datagram.senderAddress != windowAddress_) return false;
  uint32_t word = 0;
  std::string payload;
  if (!copydata::DecodeMessage(std::string_view(buffer, static_cast<size_t>(datagram.bytes)), &word, &payload))
    return false;
  return word == awaitedWord_;
}

bool FrameAnnouncer::Announce(copydata::EndpointNumber window, uint32_t dataWord) {
  awaiting_ = false;
  while (true) {  // drop late answers to earlier frames
    char discard[64];
    ssize_t got = ::recv(fd_, discard, sizeof discard, MSG_DONTWAIT);
    if (got < 0 && errno != EINTR) break;
  }
  windowAddress_ = AddressBytes(window);
  std::string datagram = copydata::EncodeMessage(dataWord, {});
  while (true) {
    ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                            reinterpret_cast<const sockaddr*>(windowAddress_.data()),
                            static_cast<socklen_t>(windowAddress_.size()));
    if (sent >= 0) break;
    if (errno != EINTR) return false;
  }
  awaitedWord_ = dataWord;
  awaiting_ = true;
  return true;
}

bool FrameAnnouncer::AwaitAnswer(int timeoutMs) {
  if (!awaiting_) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (ReadAnswer()) {
      awaiting_ = false;
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return false;
    pollfd ready{fd_, POLLIN, 0};
    ::poll(&ready, 1, static_cast<int>(left));
  }
}

}  // namespace mivora
