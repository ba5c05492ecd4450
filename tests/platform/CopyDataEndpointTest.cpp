#include <gtest/gtest.h>
#include <poll.h>

#include <set>
#include <thread>

#include "platform/CopyDataEndpoint.h"
#include "platform/CopyDataProtocol.h"

namespace mivora {
namespace {

TEST(CopyDataProtocol, DataWordIsLittleEndianBeforeThePayload) {
  struct Case {
    uint32_t word;
    std::string payload;
    std::string datagram;
  };
  const Case cases[] = {
      {0, "time=00:00:01.00", std::string("\0\0\0\0", 4) + "time=00:00:01.00"},
      {copydata::FrameWord(320, 240), "", std::string("\xF0\0\x40\x01", 4)},
      {0x01020304, std::string("a\0b", 3), std::string("\x04\x03\x02\x01" "a\0b", 7)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(copydata::EncodeMessage(c.word, c.payload), c.datagram);
    uint32_t word = 99;
    std::string payload = "old";
    ASSERT_TRUE(copydata::DecodeMessage(c.datagram, &word, &payload));
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(payload, c.payload);
  }
  uint32_t word;
  std::string payload;
  EXPECT_FALSE(copydata::DecodeMessage(std::string("\1\2\3", 3), &word, &payload));
}

TEST(CopyDataEndpoint, MessagesArriveWholeAndInOrder) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  EXPECT_GT(endpoint->Number(), 0u);
  EXPECT_LE(endpoint->Number(), copydata::kMaxEndpointNumber);
  EXPECT_FALSE(endpoint->Receive(0));

  // Sent from another thread while this one receives; the queue is short, so
  // the sender has to wait for the receiver now and then.
  constexpr int kCount = 300;
  std::thread sender([number = endpoint->Number()] {
    CopyDataSender out;
    for (int i = 0; i < kCount; ++i)
      ASSERT_TRUE(out.Send(number, static_cast<uint32_t>(i), "message " + std::to_string(i)));
    std::string largest(copydata::kMaxPayloadBytes, 'x');
    ASSERT_TRUE(out.Send(number, 7, largest));
  });
  for (int i = 0; i < kCount; ++i) {
    auto message = endpoint->Receive(5000);
    ASSERT_TRUE(message) << i;
    EXPECT_EQ(message->dataWord, static_cast<uint32_t>(i));
    EXPECT_EQ(message->payload, "message " + std::to_string(i));
  }
  auto largest = endpoint->Receive(5000);
  ASSERT_TRUE(largest);
  EXPECT_EQ(largest->payload.size(), copydata::kMaxPayloadBytes);
  sender.join();
}

TEST(CopyDataEndpoint, FdSignalsAWaitingMessage) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  pollfd ready{endpoint->Fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&ready, 1, 0), 0);
  CopyDataSender out;
  ASSERT_TRUE(out.Send(endpoint->Number(), 0, "x"));
  EXPECT_EQ(::poll(&ready, 1, 1000), 1);
  auto message = endpoint->Receive(0);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->payload, "x");
}

TEST(CopyDataEndpoint, NumbersAreUniqueWhileTheEndpointsLive) {
  std::vector<std::unique_ptr<CopyDataEndpoint>> endpoints;
  std::set<copydata::EndpointNumber> numbers;
  for (int i = 0; i < 200; ++i) {
    endpoints.push_back(CopyDataEndpoint::Open());
    ASSERT_TRUE(endpoints.back());
    numbers.insert(endpoints.back()->Number());
  }
  EXPECT_EQ(numbers.size(), endpoints.size());
}

TEST(CopyDataSender, RefusesWhatCannotBeDelivered) {
  CopyDataSender out;
  copydata::EndpointNumber gone;
  {
    auto endpoint = CopyDataEndpoint::Open();
    ASSERT_TRUE(endpoint);
    gone = endpoint->Number();
  }
  EXPECT_FALSE(out.Send(gone, 0, "nobody listens"));
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  EXPECT_FALSE(out.Send(endpoint->Number(), 0, std::string(copydata::kMaxPayloadBytes + 1, 'x')));
  EXPECT_FALSE(endpoint->Receive(0));
}

TEST(CopyDataSender, AStalledReceiverCostsOneWaitOnly) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  CopyDataSender out;
  auto start = std::chrono::steady_clock::now();
  int delivered = 0;
  for (int i = 0; i < 50; ++i) delivered += out.Send(endpoint->Number(), 0, "x") ? 1 : 0;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 4.0);
  EXPECT_GT(delivered, 0);
  EXPECT_LT(delivered, 50);
  // Once the receiver takes a message, delivery resumes.
  ASSERT_TRUE(endpoint->Receive(0));
  EXPECT_TRUE(out.Send(endpoint->Number(), 0, "again"));
}

}  // namespace
}  // namespace mivora
