#include <gtest/gtest.h>
#include <poll.h>

#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

#include "platform/CopyDataEndpoint.h"
#include "platform/CopyDataProtocol.h"
#include "platform/SharedMemoryBlock.h"

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

TEST(FrameAnswer, TheWindowAnswersTheAnnouncerWithTheSameWord) {
  auto window = CopyDataEndpoint::Open();
  auto announcer = FrameAnnouncer::Open();
  ASSERT_TRUE(window && announcer);
  const uint32_t word = copydata::FrameWord(720, 480);
  ASSERT_TRUE(announcer->Announce(window->Number(), word));
  auto message = window->Receive(1000);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->dataWord, word);
  EXPECT_TRUE(message->payload.empty());
  EXPECT_FALSE(announcer->AwaitAnswer(0));
  std::thread answering([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    window->Answer(*message);
  });
  EXPECT_TRUE(announcer->AwaitAnswer(2000));
  answering.join();
}

TEST(FrameAnswer, OnlyTheAnswerToTheLastAnnouncementFromThatWindowCounts) {
  auto window = CopyDataEndpoint::Open();
  auto stranger = CopyDataEndpoint::Open();
  auto announcer = FrameAnnouncer::Open();
  ASSERT_TRUE(window && stranger && announcer);
  const uint32_t first = copydata::FrameWord(320, 240), second = copydata::FrameWord(640, 360);

  // An answer that comes after its wait gave up does not answer the next frame.
  ASSERT_TRUE(announcer->Announce(window->Number(), first));
  auto late = window->Receive(1000);
  ASSERT_TRUE(late);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(announcer->AwaitAnswer(100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
  window->Answer(*late);
  ASSERT_TRUE(announcer->Announce(window->Number(), first));
  EXPECT_FALSE(announcer->AwaitAnswer(100));

  // Another word, or the same word from another endpoint, is no answer.
  auto pending = window->Receive(1000);
  ASSERT_TRUE(pending);
  CopyDataMessage wrongWord = *pending;
  wrongWord.dataWord = second;
  window->Answer(wrongWord);
  stranger->Answer(*pending);
  EXPECT_FALSE(announcer->AwaitAnswer(100));
  window->Answer(*pending);
  EXPECT_TRUE(announcer->AwaitAnswer(1000));
}

TEST(FrameAnswer, NoAnswerGoesToAnUnnamedSenderOrAGoneWindow) {
  auto window = CopyDataEndpoint::Open();
  ASSERT_TRUE(window);
  CopyDataSender unnamed;
  ASSERT_TRUE(unnamed.Send(window->Number(), 7, ""));
  auto message = window->Receive(1000);
  ASSERT_TRUE(message);
  EXPECT_TRUE(message->senderAddress.empty());
  EXPECT_FALSE(window->Answer(*message));

  auto announcer = FrameAnnouncer::Open();
  ASSERT_TRUE(announcer);
  copydata::EndpointNumber gone = window->Number();
  window.reset();
  EXPECT_FALSE(announcer->Announce(gone, 7));
  EXPECT_FALSE(announcer->AwaitAnswer(0));
}

TEST(SharedMemoryBlock, ANameIsMadeOnceAndOpenedAtItsSize) {
  const std::string name = "_scshare_blocktest" + std::to_string(::getpid());
  std::string error;
  auto made = SharedMemoryBlock::Create(name, 4096, &error);
  ASSERT_TRUE(made) << error;
  EXPECT_FALSE(SharedMemoryBlock::Create(name, 4096, &error));
  EXPECT_NE(error.find(name), std::string::npos);
  made->Data()[4095] = 42;
  auto opened = SharedMemoryBlock::Open(name, 4096);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->Data()[4095], 42);
  EXPECT_FALSE(SharedMemoryBlock::Open(name, 8192));  // smaller than asked for
  EXPECT_FALSE(SharedMemoryBlock::Create("a/b", 4096));
  SharedMemoryBlock::Unlink(name);
  EXPECT_FALSE(SharedMemoryBlock::Open(name, 4096));
  EXPECT_EQ(opened->Data()[4095], 42);  // still mapped after the name went
}

}  // namespace
}  // namespace mivora
