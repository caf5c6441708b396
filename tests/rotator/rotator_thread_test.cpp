// The UI thread and the GPS reader may both drive the rotator; every write
// must arrive whole and the port must survive a reconfiguration racing the
// writers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "rotator/rotator_port.h"

namespace quarbe {
namespace {

TEST(RotatorPortThreads, ConcurrentWritersAndReconfigure) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-rotthr-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  const std::string device = (dir / "lpt1").string();
  std::ofstream(device).close();

  Configuration configuration;
  configuration.rotationSense = kSenseClockwise;
  PortMap ports;
  ports.parallel[0] = device;
  RotatorPort port(configuration, ports);
  std::atomic<int> failures{0};
  port.SetFailureCallback([&](std::string_view, std::string_view) { ++failures; });

  constexpr int kWrites = 2000;
  std::atomic<int> written{0};
  auto writer = [&](int relativeDeg) {
    for (int i = 0; i < kWrites; ++i) {
      if (port.Write(relativeDeg)) ++written;
    }
  };
  std::thread ui(writer, 0);      // byte 128
  std::thread reader(writer, 90);  // byte 192
  for (int i = 0; i < 50; ++i) port.Reconfigure(configuration, ports);
  ui.join();
  reader.join();

  EXPECT_EQ(written.load(), 2 * kWrites);
  EXPECT_EQ(failures.load(), 0);
  std::ifstream in(device, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(2 * kWrites));
  int zeros = 0;
  int nineties = 0;
  for (const char c : bytes) {
    const int value = static_cast<unsigned char>(c);
    if (value == 128) ++zeros;
    if (value == 192) ++nineties;
  }
  EXPECT_EQ(zeros, kWrites);
  EXPECT_EQ(nineties, kWrites);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarbe
