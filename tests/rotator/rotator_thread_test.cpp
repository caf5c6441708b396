// The UI thread and the GPS reader may both drive the rotator: every byte
// must arrive whole, also while a reconfiguration races the writers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "rotator/rotator_port.h"

namespace quarbe {
namespace {

TEST(RotatorPortThreads, ConcurrentWritersAndReconfigure) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-rotthr-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  PortMap ports;
  ports.parallel[0] = (dir / "lpt1").string();
  std::ofstream(ports.parallel[0]).close();
  Configuration configuration;
  configuration.rotationSense = kSenseClockwise;
  RotatorPort port(configuration, ports);

  constexpr int kWrites = 2000;
  std::atomic<int> written{0};
  auto writer = [&](int relativeDeg) {
    for (int i = 0; i < kWrites; ++i) written += port.Write(relativeDeg) ? 1 : 0;
  };
  std::thread ui(writer, 0);       // byte 128
  std::thread reader(writer, 90);  // byte 192
  for (int i = 0; i < 50; ++i) port.Reconfigure(configuration, ports);
  ui.join();
  reader.join();

  std::ifstream in(ports.parallel[0], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written.load(), 2 * kWrites);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), static_cast<char>(128)), kWrites);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), static_cast<char>(192)), kWrites);
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(2 * kWrites));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarbe
