#include "gps/fix_handoff.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace quarbe {
namespace {

constexpr std::chrono::seconds kPatience{5};  // only ever reached on failure

GpsFix FixWithCourse(std::int32_t courseDeg) { return GpsFix{Position{}, courseDeg}; }
const GpsOpenError kMissingDevice{DeviceOpenFailure{DeviceKind::kSerial, "/dev/ttyUSB0", 2}};

// Serves and records what it is handed.
std::vector<GpsEvent> ServeAll(FixHandoff& handoff) {
  std::vector<GpsEvent> handled;
  handoff.Serve([&](const GpsEvent& event) { handled.push_back(event); });
  return handled;
}

TEST(FixHandoff, PostingNeverWaitsAndTheLatestFixIsServed) {
  FixHandoff handoff;
  int rings = 0;
  handoff.SetNotifier([&] { ++rings; });
  // Nobody serves: every post returns at once.
  for (std::int32_t course = 1; course <= 3; ++course) EXPECT_TRUE(handoff.Post(FixWithCourse(course)));
  // One call queued on the UI thread serves them all.
  EXPECT_EQ(rings, 1);
  EXPECT_EQ(ServeAll(handoff), std::vector<GpsEvent>{FixWithCourse(3)});
  EXPECT_FALSE(handoff.Serve([](const GpsEvent&) { ADD_FAILURE() << "served twice"; }));
  // Served: the next post rings again.
  EXPECT_TRUE(handoff.Post(FixWithCourse(4)));
  EXPECT_EQ(rings, 2);
}

TEST(FixHandoff, AFailureIsServedFirstAndAFixArrivingMeanwhileAfterIt) {
  FixHandoff handoff;
  handoff.Post(FixWithCourse(1));
  handoff.Post(kMissingDevice);
  std::vector<GpsEvent> handled;
  EXPECT_TRUE(handoff.Serve([&](const GpsEvent& event) {
    handled.push_back(event);
    // Its box is up: a newer fix arrives and is the one served next.
    if (handled.size() == 1) handoff.Post(FixWithCourse(2));
  }));
  EXPECT_EQ(handled, (std::vector<GpsEvent>{kMissingDevice, FixWithCourse(2)}));
}

TEST(FixHandoff, CancelDropsWhatIsPendingUntilReset) {
  FixHandoff handoff;
  int rings = 0;
  handoff.SetNotifier([&] { ++rings; });
  handoff.Post(kMissingDevice);
  handoff.Cancel();
  EXPECT_FALSE(handoff.Serve([](const GpsEvent&) { ADD_FAILURE() << "dropped event served"; }));
  EXPECT_FALSE(handoff.Post(FixWithCourse(1)));
  handoff.Ring();
  EXPECT_EQ(rings, 1);
  handoff.Reset();
  EXPECT_TRUE(handoff.Post(FixWithCourse(2)));
  handoff.Ring();
  EXPECT_EQ(rings, 3);
  EXPECT_EQ(ServeAll(handoff), std::vector<GpsEvent>{FixWithCourse(2)});
}

// A source posting far faster than the UI thread serves: the UI thread only
// ever moves forward, and the last fix posted is always the last served.
TEST(FixHandoff, AFastPosterNeverLosesTheLatestFix) {
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
  constexpr int kCount = 20000;
  std::thread poster([&] {
    for (int i = 1; i <= kCount; ++i) handoff.Post(FixWithCourse(i));
  });
  std::vector<std::int32_t> courses;
  while (courses.empty() || courses.back() != kCount) {
    {
      std::unique_lock lock(mutex);
      if (!rang.wait_for(lock, kPatience, [&] { return pending > 0; })) break;
      --pending;
    }
    handoff.Serve([&](const GpsEvent& event) { courses.push_back(std::get<GpsFix>(event).headingDeg); });
  }
  poster.join();
  ASSERT_FALSE(courses.empty());
  EXPECT_EQ(courses.back(), kCount);
  for (std::size_t i = 1; i < courses.size(); ++i) ASSERT_LT(courses[i - 1], courses[i]);
}

}  // namespace
}  // namespace quarbe
