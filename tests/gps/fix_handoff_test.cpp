#include "gps/fix_handoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace quarbe {
namespace {

constexpr std::chrono::seconds kPatience{5};  // only ever reached on failure

GpsFix FixWithCourse(std::int32_t courseDeg) { return GpsFix{Position{}, courseDeg}; }

// Counts notifications and lets the test wait for them.
class Bell {
 public:
  FixHandoff::Notifier Notifier() {
    return [this] {
      {
        std::lock_guard lock(mutex_);
        ++rings_;
      }
      rang_.notify_all();
    };
  }
  bool WaitFor(int rings) {
    std::unique_lock lock(mutex_);
    return rang_.wait_for(lock, kPatience, [&] { return rings_ >= rings; });
  }
  int Rings() {
    std::lock_guard lock(mutex_);
    return rings_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable rang_;
  int rings_ = 0;
};

TEST(FixHandoff, PosterWaitsUntilTheHandlerHasRun) {
  FixHandoff handoff;
  Bell bell;
  handoff.SetNotifier(bell.Notifier());
  std::atomic<bool> posterReturned{false};
  auto poster = std::async(std::launch::async, [&] {
    const bool served = handoff.Post(FixWithCourse(42));
    posterReturned = true;
    return served;
  });
  ASSERT_TRUE(bell.WaitFor(1));
  std::vector<GpsEvent> handled;
  bool returnedDuringHandler = true;
  EXPECT_TRUE(handoff.Serve([&](const GpsEvent& event) {
    handled.push_back(event);
    returnedDuringHandler = posterReturned;
  }));
  EXPECT_TRUE(poster.get());
  EXPECT_FALSE(returnedDuringHandler);
  EXPECT_EQ(handled, std::vector<GpsEvent>{FixWithCourse(42)});
  // Served once only.
  EXPECT_FALSE(handoff.Serve([](const GpsEvent&) { ADD_FAILURE() << "served twice"; }));
}

TEST(FixHandoff, CancelReleasesAWaitingPosterAndWithdrawsTheEvent) {
  FixHandoff handoff;
  Bell bell;
  handoff.SetNotifier(bell.Notifier());
  auto poster = std::async(std::launch::async, [&] { return handoff.Post(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, "x", 2}}); });
  ASSERT_TRUE(bell.WaitFor(1));
  handoff.Cancel();
  ASSERT_EQ(poster.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(poster.get());
  EXPECT_FALSE(handoff.Serve([](const GpsEvent&) { ADD_FAILURE() << "withdrawn event served"; }));
  // Cancelled: posting fails at once and rings nobody.
  EXPECT_FALSE(handoff.Post(FixWithCourse(1)));
  EXPECT_EQ(bell.Rings(), 1);
}

TEST(FixHandoff, ManyEventsArriveInOrder) {
  FixHandoff handoff;
  std::mutex mutex;
  std::condition_variable rang;
  int pending = 0;
  handoff.SetNotifier([&] {
    {
      std::lock_guard lock(mutex);
      ++pending;
    }
    rang.notify_all();
  });
  constexpr int kCount = 2000;
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i) handoff.Post(FixWithCourse(i));
  });
  std::vector<std::int32_t> courses;
  while (courses.size() < static_cast<std::size_t>(kCount)) {
    {
      std::unique_lock lock(mutex);
      if (!rang.wait_for(lock, kPatience, [&] { return pending > 0; })) break;
      --pending;
    }
    handoff.Serve([&](const GpsEvent& event) { courses.push_back(std::get<GpsFix>(event).headingDeg); });
  }
  poster.join();
  ASSERT_EQ(courses.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(courses[static_cast<std::size_t>(i)], i);
}

}  // namespace
}  // namespace quarbe
