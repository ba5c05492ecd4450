#include "app/progress/BusHandshake.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace mivora {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the address format's %-escapes; nullopt for a broken escape.
std::optional<std::string> Unescape(const std::string& value) {
  std::string plain;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      plain += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return std::nullopt;
    const int high = HexValue(value[i + 1]);
    const int low = HexValue(value[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    plain += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return plain;
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd, events, 0};
    const int n = poll(&ready, 1, static_cast<int>(left.count()));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

std::optional<std::string> BusSocketName(const std::string& address) {
  size_t start = 0;
  while (start <= address.size()) {
    const size_t end = std::min(address.find(';', start), address.size());
    const std::string entry = address.substr(start, end - start);
    start = end + 1;
    if (entry.rfind("unix:", 0) != 0) continue;
    size_t keyStart = 5;
    while (keyStart <= entry.size()) {
      const size_t keyEnd = std::min(entry.find(',', keyStart), entry.size());
      const std::string pair = entry.substr(keyStart, keyEnd - keyStart);
      keyStart = keyEnd + 1;
      for (const char* key : {"path=", "abstract="}) {
        if (pair.rfind(key, 0) != 0) continue;
        std::optional<std::string> name = Unescape(pair.substr(std::strlen(key)));
        if (!name || name->empty()) return std::nullopt;
        return key[0] == 'a' ? std::string(1, '\0') + *name : *name;
      }
    }
  }
  return std::nullopt;
}

bool BusAnswers(const std::string& address, int limitMs, std::string* why) {
  const std::optional<std::string> name = BusSocketName(address);
  if (!name) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  sockaddr_un socketAddress{};
  socketAddress.sun_family = AF_UNIX;
  if (name->size() >= sizeof socketAddress.sun_path) {
    *why = "the socket's name is too long";
    return false;
  }
  name->copy(socketAddress.sun_path, name->size());
  // A path ends with its NUL; an abstract name is exactly its bytes.
  const socklen_t size =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name->size() + ((*name)[0] != '\0' ? 1 : 0));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  bool answered = false;
  // A bus whose queue is full refuses a connection that does not wait (EAGAIN).
  if (connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress), size) != 0 && errno != EINPROGRESS) {
    *why = errno == EAGAIN ? "its queue of connections is full" : std::strerror(errno);
  } else {
    // The first step of every client: a NUL byte, then a request to be
    // known by this process's user id (in hex digits of its decimal form).
    std::string hello = std::string(1, '\0') + "AUTH EXTERNAL ";
    for (char digit : std::to_string(getuid())) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(digit));
      hello += hex;
    }
    hello += "\r\n";
    char reply = 0;
    if (!WaitFor(fd, POLLOUT, deadline) ||
        send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(hello.size())) {
      *why = "it takes no request";
    } else if (!WaitFor(fd, POLLIN, deadline) || recv(fd, &reply, 1, 0) != 1) {
      *why = "it did not answer within " + std::to_string(limitMs) + " ms";
    } else {
      answered = true;  // any answer ("OK", "REJECTED") shows a bus that works
    }
  }
  close(fd);
  return answered;
}

}  // namespace mivora
