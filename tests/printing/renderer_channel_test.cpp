// The renderer's transport: request order, replies, and the three failure texts.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "printing/renderer_channel.hpp"

namespace zorvik::printing {
namespace {

TEST(RendererChannelTest, RequestsAreServedInArrivalOrderEachWithItsOwnReply) {
  RequestChannel<std::pair<int, ReplySender<int>>> channel;
  std::thread server([&] {
    while (auto request = channel.receive()) request->second.send(request->first * 10);
  });
  std::vector<ReplyReceiver<int>> replies;
  for (int i = 0; i < 5; ++i) {
    auto [sender, receiver] = makeReply<int>();
    ASSERT_TRUE(channel.send({i, std::move(sender)}));
    replies.push_back(std::move(receiver));
  }
  for (int i = 4; i >= 0; --i) EXPECT_EQ(replies[i].wait(), i * 10);
  channel.closeSending();
  server.join();
}

TEST(RendererChannelTest, AReplyDroppedUnansweredSaysTheRendererDidNotAnswer) {
  auto [sender, receiver] = makeReply<int>();
  std::thread([s = std::move(sender)] {}).join();
  auto answer = receiver.wait();
  ASSERT_FALSE(answer);
  EXPECT_EQ(answer.error(), "Рисовальщик не ответил");
}

TEST(RendererChannelTest, AfterTheRendererEndedQueuedRequestsAreDroppedAndNewOnesRefused) {
  RequestChannel<ReplySender<int>> channel;
  auto [sender, receiver] = makeReply<int>();
  ASSERT_TRUE(channel.send(std::move(sender)));
  channel.closeReceiving();
  EXPECT_EQ(receiver.wait().error(), "Рисовальщик не ответил");
  auto [late, lateReceiver] = makeReply<int>();
  auto sent = channel.send(std::move(late));
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error(), "Рисовальщик не отвечает");
}

// A request whose move fails the first time it is queued.
struct Fragile {
  bool failOnMove = true;
  Fragile() = default;
  Fragile(Fragile&& other) : failOnMove(false) {
    if (other.failOnMove) throw std::runtime_error("no memory");
  }
};

TEST(RendererChannelTest, AFailureWhileSendingStopsTheChannelForEveryone) {
  RequestChannel<Fragile> channel;
  auto first = channel.send(Fragile{});
  ASSERT_FALSE(first);
  EXPECT_EQ(first.error(), "Рисовальщик остановлен из-за ошибки");
  Fragile harmless;
  harmless.failOnMove = false;
  auto second = channel.send(std::move(harmless));
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error(), "Рисовальщик остановлен из-за ошибки");
}

}  // namespace
}  // namespace zorvik::printing
