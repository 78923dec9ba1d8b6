#include "platform/Event.h"

#include <gtest/gtest.h>

#include <thread>

namespace riffo {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEvent, OneSetReleasesOneWait) {
  TAutoResetEvent event;
  EXPECT_FALSE(event.Wait(milliseconds(0)));
  event.Set();
  event.Set();  // a signal does not count up
  EXPECT_TRUE(event.Wait(milliseconds(0)));
  EXPECT_FALSE(event.Wait(milliseconds(5)));
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
  TAutoResetEvent ready;
  TAutoResetEvent answer;
  std::thread worker([&] {
    if (ready.Wait(milliseconds(10000))) answer.Set();
  });
  ready.Set();
  EXPECT_TRUE(answer.Wait(milliseconds(10000)));
  worker.join();
}

}  // namespace
}  // namespace riffo
