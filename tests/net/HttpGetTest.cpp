#include "net/HttpGet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <thread>

#include "common/Folders.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;
using test::LocalHttpServer;

std::string Bytes(size_t n) {
  std::string text(n, 'x');
  for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

struct BodyCase {
  const char* name;
  HttpReply reply;
  bool expected;
  uint64_t announced;
  uint64_t read;
};

TEST(HttpGetTest, BodyLengthFollowsTheAnnouncedLengthAndNeverGoesBeyondIt) {
  const BodyCase cases[] = {
      {"exact length", HttpReply::Ok(Bytes(2000)), true, 2000, 2000},
      {"no length: read to the end", HttpReply::Ok(Bytes(3000), false), true, 0, 3000},
      {"announced less than sent", HttpReply::Announcing(Bytes(500), 100), true, 100, 100},
      {"announced more than sent", HttpReply::Announcing(Bytes(300), 1000), true, 1000, 300},
      {"empty body", HttpReply::Ok(""), true, 0, 0},
      {"gigabytes announced", HttpReply::Announcing(Bytes(100), 5'000'000'000ull), false, 5'000'000'000ull, 0},
      {"just above the cap", HttpReply::Announcing(Bytes(10), kMaxBodyBytes + 1), false, kMaxBodyBytes + 1, 0},
  };
  LocalHttpServer server;
  for (const BodyCase& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve("/body", c.reply);
    HttpGetRequest request;
    request.savePath = test::MakeTempDir("get") + "/saved.bin";
    EXPECT_EQ(HttpGet(server.Url("/body"), request), c.expected);
    EXPECT_EQ(request.announcedLength, c.announced);
    EXPECT_EQ(request.bytesRead, c.read);
    if (c.expected) {
      EXPECT_EQ(request.statusCode, 200);
      EXPECT_EQ(test::ReadFile(request.savePath), c.reply.body.substr(0, c.read));
    } else {
      EXPECT_FALSE(FileExists(request.savePath)) << "nothing is saved from a refused reply";
    }
  }
}

TEST(HttpGetTest, CallerBufferGetsTheFirstBytesAndATerminatingZero) {
  LocalHttpServer server;
  std::string body = Bytes(2000);
  server.Serve("/v", HttpReply::Ok(body));
  char buffer[1024];
  std::memset(buffer, '#', sizeof buffer);
  HttpGetRequest request;
  request.buffer = buffer;
  request.bufferSize = sizeof buffer;
  ASSERT_TRUE(HttpGet(server.Url("/v"), request));
  EXPECT_EQ(std::string(buffer), body.substr(0, 1023));

  char small[4];
  request = {};
  request.buffer = small;
  request.bufferSize = sizeof small;
  server.Serve("/short", HttpReply::Ok("ab"));
  ASSERT_TRUE(HttpGet(server.Url("/short"), request));
  EXPECT_STREQ(small, "ab");
}

TEST(HttpGetTest, SendsAPlainHttp10GetWithTheProgramsUserAgent) {
  LocalHttpServer server;
  server.Serve("/cgi-bin/getversion?get&p=mvr", HttpReply::Ok("<i>1</i>"));
  HttpGetRequest request;
  ASSERT_TRUE(HttpGet(server.Url("/cgi-bin/getversion?get&p=mvr"), request));
  auto heads = server.RequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0].rfind("GET /cgi-bin/getversion?get&p=mvr HTTP/1.0\r\n", 0), 0u) << heads[0];
  EXPECT_NE(heads[0].find("\r\nUser-Agent: Raw HTML Reader\r\n"), std::string::npos) << heads[0];
  EXPECT_EQ(heads[0].find("Accept:"), std::string::npos) << heads[0];
}

TEST(HttpGetTest, OnlyHttpAddressesAreFetchedWhateverTheSchemesLetterCase) {
  LocalHttpServer server;
  server.Serve("/a", HttpReply::Ok("body"));
  struct {
    std::string url;
    bool fetched;
  } cases[] = {
      {"HTTP://" + server.Host() + "/a", true},
      {"Http://" + server.Host() + "/a", true},
      {"https://" + server.Host() + "/a", false},
      {"ftp://" + server.Host() + "/a", false},
      {"file:///etc/hostname", false},
      {server.Host() + "/a", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    HttpGetRequest request;
    EXPECT_EQ(IsHttpAddress(c.url), c.fetched);
    EXPECT_EQ(HttpGet(c.url, request), c.fetched);
  }
  EXPECT_EQ(server.RequestHeads().size(), 2u) << "refused addresses send nothing";
}

TEST(HttpGetTest, NoReplyIsAFailureWithinItsBound) {
  LocalHttpServer server;
  server.Serve("/silent", HttpReply::Silent());
  HttpGetRequest request;
  request.totalTimeout = 800ms;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpGet(server.Url("/silent"), request));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(request.statusCode, 0);

  // A port nobody listens on: the connection is refused.
  std::string closed;
  {
    LocalHttpServer gone;
    closed = gone.Url("/x");
  }
  EXPECT_FALSE(HttpGet(closed, request));
}

TEST(HttpGetTest, ACancelFromAnotherThreadEndsTheWaitEarly) {
  LocalHttpServer server;
  server.Serve("/silent", HttpReply::Silent());
  std::atomic<bool> cancel{false};
  HttpGetRequest request;
  request.cancel = &cancel;
  std::thread canceller([&] {
    std::this_thread::sleep_for(200ms);
    cancel = true;
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpGet(server.Url("/silent"), request));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  canceller.join();
}

TEST(HttpGetTest, ASaveFileThatCannotBeWrittenOrIsALinkIsAFailure) {
  LocalHttpServer server;
  server.Serve("/a", HttpReply::Ok("body"));
  std::string folder = test::MakeTempDir("get");
  HttpGetRequest request;
  request.savePath = folder + "/missing/folder/file.zip";
  EXPECT_FALSE(HttpGet(server.Url("/a"), request));

  // A link planted where the file goes is not followed.
  test::WriteFile(folder + "/victim", "precious");
  ASSERT_EQ(::symlink((folder + "/victim").c_str(), (folder + "/file.zip").c_str()), 0);
  request.savePath = folder + "/file.zip";
  EXPECT_FALSE(HttpGet(server.Url("/a"), request));
  EXPECT_EQ(test::ReadFile(folder + "/victim"), "precious");

  request.savePath = folder + "/victim";
  EXPECT_TRUE(HttpGet(server.Url("/a"), request));
  EXPECT_EQ(test::ReadFile(folder + "/victim"), "body") << "an old file is replaced";
}

TEST(HttpGetTest, ErrorStatusesAreRepliesWithTheirCode) {
  LocalHttpServer server;
  server.Serve("/gone", HttpReply::Status(404, "<html>no</html>"));
  char buffer[64];
  HttpGetRequest request;
  request.buffer = buffer;
  request.bufferSize = sizeof buffer;
  EXPECT_TRUE(HttpGet(server.Url("/gone"), request));
  EXPECT_EQ(request.statusCode, 404);
  EXPECT_STREQ(buffer, "<html>no</html>");
}

}  // namespace
}  // namespace mivora
