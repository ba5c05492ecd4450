#include "tests/support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace mivora::test {
namespace {

constexpr int kRequestWaitMs = 3000;

void SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away: fine for a test server
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

HttpReply HttpReply::Ok(std::string body, bool withLength) {
  HttpReply reply;
  reply.head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n";
  if (withLength) reply.head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  reply.body = std::move(body);
  return reply;
}

HttpReply HttpReply::Announcing(std::string body, unsigned long long announced) {
  HttpReply reply;
  reply.head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(announced) + "\r\n";
  reply.body = std::move(body);
  return reply;
}

HttpReply HttpReply::Status(int code, std::string body) {
  HttpReply reply;
  reply.head = "HTTP/1.0 " + std::to_string(code) + " Status\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n";
  reply.body = std::move(body);
  return reply;
}

HttpReply HttpReply::Silent() {
  HttpReply reply;
  reply.neverAnswer = true;
  return reply;
}

LocalHttpServer::LocalHttpServer() {
  // Loopback requests must never go through a proxy of the environment.
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
  ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(stopPipe_, O_CLOEXEC) != 0)
    throw std::runtime_error("LocalHttpServer: cannot listen on the loopback interface");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Loop(); });
}

LocalHttpServer::~LocalHttpServer() {
  (void)!::write(stopPipe_[1], "x", 1);
  thread_.join();
  for (int fd : silentConnections_) ::close(fd);
  ::close(listener_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

std::string LocalHttpServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

void LocalHttpServer::Serve(const std::string& path, HttpReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[path] = std::move(reply);
}

std::vector<std::string> LocalHttpServer::RequestHeads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LocalHttpServer::Loop() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) Handle(connection);
  }
}

void LocalHttpServer::Handle(int connection) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd fd{connection, POLLIN, 0};
    if (::poll(&fd, 1, kRequestWaitMs) <= 0) break;
    char buffer[4096];
    ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  std::string target;
  if (size_t space = head.find(' '); space != std::string::npos)
    target = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
  HttpReply reply = HttpReply::Status(404, "<html>not found</html>");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
    if (auto it = replies_.find(target); it != replies_.end()) reply = it->second;
    if (reply.neverAnswer) {
      silentConnections_.push_back(connection);
      return;
    }
  }
  SendAll(connection, reply.head + "\r\n" + reply.body);
  ::shutdown(connection, SHUT_WR);
  ::close(connection);
}

}  // namespace mivora::test
