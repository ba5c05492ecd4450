#pragma once
// A tiny HTTP server on the loopback interface for tests: each path gets a
// canned reply (status line and headers as written, then the body); a path
// may also be set to accept and never answer. It serves one connection at a
// time on its own thread and records every request head it reads.

#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace mivora::test {

struct HttpReply {
  std::string head;  // "HTTP/1.0 200 OK\r\nHeader: value\r\n" (the blank line is added)
  std::string body;
  bool neverAnswer = false;

  // 200 with a correct Content-Length, or without any when `withLength` is false.
  static HttpReply Ok(std::string body, bool withLength = true);
  // 200 announcing `announced` bytes whatever the body's real size.
  static HttpReply Announcing(std::string body, unsigned long long announced);
  static HttpReply Status(int code, std::string body);
  static HttpReply Silent();
};

class LocalHttpServer {
 public:
  LocalHttpServer();
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // "127.0.0.1:PORT"
  std::string Host() const;
  std::string Url(const std::string& path) const { return "http://" + Host() + path; }

  // Paths match the request target exactly (query included); others get 404.
  void Serve(const std::string& path, HttpReply reply);
  std::vector<std::string> RequestHeads() const;

 private:
  void Loop();
  void Handle(int connection);

  int listener_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;  // guards the fields below
  std::unordered_map<std::string, HttpReply> replies_;
  std::vector<std::string> requests_;
  std::vector<int> silentConnections_;  // held open until the server ends
};

}  // namespace mivora::test
