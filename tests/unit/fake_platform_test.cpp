// The double's own behaviour, on which the logic's tests rely.
#include "tests/unit/fake_platform.h"

#include <gtest/gtest.h>

namespace zeltra::testing {
namespace {

TEST(FakePlatformTest, TheQuitComesOnlyAfterEveryOtherMessage) {
  FakePlatform platform;
  platform.postQuit(0);
  platform.deliver(Message{nullptr, 15, 0, 0});
  Message message;
  EXPECT_EQ(platform.fetchMessage(message), 1);
  EXPECT_EQ(message.message, 15u);
  EXPECT_EQ(platform.fetchMessage(message), 0);
  EXPECT_EQ(message.message, 0x12u);
  EXPECT_EQ(platform.fetchMessage(message), -1);
}

TEST(FakePlatformTest, MessagesArriveAfterTheNamedCall) {
  FakePlatform platform;
  platform.deliverAfter("pause", Message{nullptr, 1025, 0, 0}, 2);
  Message message;
  platform.pause(1);
  EXPECT_FALSE(platform.takePendingMessage(message));
  platform.pause(1);
  EXPECT_TRUE(platform.takePendingMessage(message));
  EXPECT_EQ(message.message, 1025u);
}

TEST(FakePlatformTest, ModuleNamesAreCutToTheBufferLikeWindowsDoes) {
  FakePlatform platform;
  platform.modulePath = "C:\\abc.exe";
  char buffer[4];
  EXPECT_EQ(platform.readModuleFileName(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "C:\\a");
}

TEST(FakePlatformTest, AnEndlessWaitFailsInsteadOfHanging) {
  FakePlatform platform;
  EXPECT_THROW(for (;;) platform.findTopLevelWindow("x"), std::runtime_error);
}

}  // namespace
}  // namespace zeltra::testing
