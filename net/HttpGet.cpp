#include "net/HttpGet.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "common/Log.h"

namespace mivora {
namespace {

constexpr size_t kChunkBytes = 4096;

struct Transfer {
  const HttpGetRequest* request = nullptr;
  std::string body;
  uint64_t limit = kDefaultBodyBytes;
  bool headersDone = false;
  bool tooLong = false;
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// The decimal number at the start of a header value, leading blanks skipped.
uint64_t LeadingNumber(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  uint64_t number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    if (number > UINT64_MAX / 10 - 1) return UINT64_MAX;
    number = number * 10 + static_cast<uint64_t>(value[i] - '0');
  }
  return number;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string_view line(data, size * count);
  if (StartsWithNoCase(line, "http/")) {
    // A new status line: a fresh set of headers (an interim reply came first).
    transfer->limit = kDefaultBodyBytes;
  } else if (StartsWithNoCase(line, "content-length:")) {
    uint64_t announced = LeadingNumber(line.substr(15));
    const_cast<HttpGetRequest*>(transfer->request)->announcedLength = announced;
    if (announced > kMaxBodyBytes) {
      transfer->tooLong = true;
      return 0;  // ends the transfer before any body is read
    }
    transfer->limit = announced;
  } else if (line == "\r\n" || line == "\n") {
    transfer->headersDone = true;
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  size_t offered = size * count;
  uint64_t room = transfer->limit - std::min<uint64_t>(transfer->limit, transfer->body.size());
  size_t taken = static_cast<size_t>(std::min<uint64_t>(room, offered));
  transfer->body.append(data, taken);
  // Taking less than offered ends the transfer: the body never grows past its length.
  return taken;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  const auto* cancel = transfer->request->cancel;
  return cancel && cancel->load() ? 1 : 0;
}

// Replaces the file's contents; a link in its place is not followed (the
// file usually lies in a temporary folder that others can write).
bool SaveBody(const std::string& path, const std::string& body) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t written = 0;
  while (written < body.size()) {
    ssize_t n = ::write(fd, body.data() + written, body.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && written == body.size();
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The request as sent: plain HTTP/1.0, no redirects, within the request's
// time limits, the body and headers through the callbacks above.
void SetRequestOptions(CURL* c, const std::string& address, curl_slist* headers, Transfer* transfer) {
  const HttpGetRequest& request = *transfer->request;
  curl_easy_setopt(c, CURLOPT_URL, address.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(c, CURLOPT_USERAGENT, kHttpUserAgent);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kChunkBytes));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, transfer);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, transfer);
}

// Hands the body read to where the request wants it. False when the save
// file cannot be written.
bool DeliverBody(HttpGetRequest& request, const std::string& body) {
  if (!request.savePath.empty() && !SaveBody(request.savePath, body)) {
    MLOG("Leave: HttpGet, cannot write %s", request.savePath.c_str());
    return false;
  }
  if (request.buffer && request.bufferSize > 0) {
    size_t n = std::min(request.bufferSize - 1, body.size());
    std::memcpy(request.buffer, body.data(), n);
    request.buffer[n] = '\0';
  }
  MLOG("Leave: HttpGet, status %d, %zu bytes", request.statusCode, body.size());
  return true;
}

}  // namespace

bool IsHttpAddress(std::string_view url) { return StartsWithNoCase(url, "http://"); }

bool HttpGet(std::string_view url, HttpGetRequest& request) {
  MLOG("Enter: HttpGet, url: %.*s", static_cast<int>(url.size()), url.data());
  request.announcedLength = 0;
  request.bytesRead = 0;
  request.statusCode = 0;
  if (!IsHttpAddress(url)) {
    MLOG("Leave: HttpGet, not an http address");
    return false;
  }
  GlobalInit();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) return false;
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers(curl_slist_append(nullptr, "Accept:"),
                                                              &curl_slist_free_all);
  Transfer transfer;
  transfer.request = &request;
  const std::string address(url);
  SetRequestOptions(curl.get(), address, headers.get(), &transfer);

  CURLcode code = curl_easy_perform(curl.get());
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  request.statusCode = static_cast<int>(status);
  request.bytesRead = transfer.body.size();

  bool cancelled = request.cancel && request.cancel->load();
  if (transfer.tooLong) {
    MLOG("Leave: HttpGet, announced length %llu is above the accepted %llu",
         static_cast<unsigned long long>(request.announcedLength),
         static_cast<unsigned long long>(kMaxBodyBytes));
    return false;
  }
  if (cancelled || !transfer.headersDone) {
    MLOG("Leave: HttpGet, no reply: %s", cancelled ? "cancelled" : curl_easy_strerror(code));
    return false;
  }
  if (code != CURLE_OK && code != CURLE_WRITE_ERROR)
    MLOG("HttpGet, body cut short after %zu bytes: %s", transfer.body.size(), curl_easy_strerror(code));
  return DeliverBody(request, transfer.body);
}

}  // namespace mivora
