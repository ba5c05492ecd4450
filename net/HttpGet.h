#pragma once
// The program's one HTTP client: a plain GET of an "http://" address, its
// body kept in memory, then saved to a file and/or copied into a caller's
// buffer. Used by the upgrade check only.
//
// The request: user agent "Raw HTML Reader", HTTP/1.0, no Accept header, no
// redirects followed, the proxy of the usual environment variables. Only the
// http scheme is spoken (its name in any letter case); any other address is
// refused before anything is sent.
//
// The body: as long as the "Content-Length" header says, or kDefaultBodyBytes
// when the header is missing; reading never goes beyond that length. An
// announced length above kMaxBodyBytes is refused (the program only fetches a
// version text and a small archive), so a hostile length cannot make it
// allocate or write gigabytes.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mivora {

struct HttpGetRequest {
  // Where the body goes; both optional. The save file is created (replacing
  // an old one) and receives exactly the bytes read. The buffer receives the
  // first bytes of the body, at most bufferSize - 1, and a terminating zero.
  std::string savePath;
  char* buffer = nullptr;
  size_t bufferSize = 0;

  // Bounds, so that a server that never answers cannot hold the caller.
  std::chrono::milliseconds connectTimeout{10000};
  std::chrono::milliseconds totalTimeout{60000};
  // Set from another thread to end the transfer early (the result is false).
  const std::atomic<bool>* cancel = nullptr;

  // Filled in: the announced length (0 when there was none), the bytes read
  // and the reply's status code (0 when no reply arrived).
  uint64_t announcedLength = 0;
  uint64_t bytesRead = 0;
  int statusCode = 0;
};

inline constexpr uint64_t kDefaultBodyBytes = 10 * 1024 * 1024;
inline constexpr uint64_t kMaxBodyBytes = 10 * 1024 * 1024;
inline constexpr const char* kHttpUserAgent = "Raw HTML Reader";

// True when the address starts with "http://" in any letter case.
bool IsHttpAddress(std::string_view url);

// Fetches `url`. False when the address is not an http one, when no reply
// arrived (no connection, refused, timed out before the reply's headers,
// cancelled), when the announced length is above kMaxBodyBytes, or when the
// save file cannot be written. True otherwise, whatever the status code: a
// transfer cut short after the headers keeps what was read.
bool HttpGet(std::string_view url, HttpGetRequest& request);

}  // namespace mivora
