// Fuzzes what the program takes from outside apart from the GPS: the
// settings file, the command line and the texts in the window's fields.
// One input feeds four paths:
//  - the whole input as the settings file: every key must read back as its
//    type and the GPS speed must be one the serial driver supports;
//  - the input as a hand-edited file into which the seven owned keys are
//    written, with values cut from the input: each must read back as
//    written, the [Ports] entries must read as before, and writing the same
//    values again must not change a byte;
//  - its first line as the command line and the following lines as field
//    texts (and hemisphere choices) for a context whose rotator and GPS are
//    off: start-up, every commit and a fix must leave finite results;
//  - the exchange must never leave the context flagged as exchanging.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_speed.h"
#include "context/bearing_context.h"
#include "context/control_ids.h"
#include "context/ini_text.h"
#include "context/profile_store.h"
#include "fake_view.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Created once and removed at exit. Held through a pointer so that it
// outlives the exit handler that removes the directory.
const std::string& ScratchDir() {
  static const std::string* const dir = [] {
    // In memory when the system offers it: each run writes a settings file,
    // and a disk makes that wait for the file to reach it.
    const bool memory = std::filesystem::is_directory("/dev/shm");
    auto* path = new std::string(memory ? "/dev/shm/quarbe-fuzz-settings-XXXXXX" : "/tmp/quarbe-fuzz-settings-XXXXXX");
    Check(::mkdtemp(path->data()) != nullptr);
    std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
    return path;
  }();
  return *dir;
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void CheckResult(const quarbe::BearingContext& context) {
  const quarbe::BearingResult& result = context.result();
  Check(std::isfinite(result.distanceKm));
  Check(!context.InExchange());
}

constexpr int kEditIds[] = {quarbe::ctl::kLocalLocator, quarbe::ctl::kLocalLatDeg,    quarbe::ctl::kLocalLatMin,
                            quarbe::ctl::kLocalLatSec,  quarbe::ctl::kLocalLonDeg,    quarbe::ctl::kLocalLonMin,
                            quarbe::ctl::kLocalLonSec,  quarbe::ctl::kCorrLocator,    quarbe::ctl::kDistance,
                            quarbe::ctl::kCorrLatDeg,   quarbe::ctl::kCorrLatMin,     quarbe::ctl::kCorrLatSec,
                            quarbe::ctl::kCorrLonDeg,   quarbe::ctl::kCorrLonMin,     quarbe::ctl::kCorrLonSec,
                            quarbe::ctl::kHeading,      quarbe::ctl::kRelativeAzimuth, quarbe::ctl::kReverseAzimuth,
                            quarbe::ctl::kTrueAzimuth};
constexpr int kListIds[] = {quarbe::ctl::kLocalLatHemisphere, quarbe::ctl::kLocalLonHemisphere,
                            quarbe::ctl::kCorrLatHemisphere, quarbe::ctl::kCorrLonHemisphere};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The input as a settings file.
  const std::string fuzzed = ScratchDir() + "/fuzzed.ini";
  WriteFile(fuzzed, input);
  {
    const quarbe::ProfileStore store(fuzzed);
    const quarbe::Configuration configuration = quarbe::LoadConfiguration(store);
    Check(configuration.endStopChoice == quarbe::EndStopChoiceFor(configuration.endStopDeg));
    const quarbe::PortMap ports = quarbe::LoadPortMap(store);
    Check(quarbe::IsSupportedBaud(ports.gpsBaud));
    for (const auto& device : ports.parallel) Check(!device.empty());
    (void)store.Read(quarbe::keys::kLocalLocator);
  }

  // The input as a hand-edited file, the owned keys written into it.
  {
    const std::string_view value = input.substr(0, std::min(input.find('\n'), input.size()));
    const std::string_view other = input.substr(input.size() / 2);
    const quarbe::TextKey texts[] = {quarbe::keys::kLocalLocator, quarbe::keys::kCorrespondentLocator,
                                     quarbe::keys::kPicturePath};
    const quarbe::IntKey ints[] = {quarbe::keys::kGpsPort, quarbe::keys::kRotatorPort,
                                   quarbe::keys::kRotationSense, quarbe::keys::kEndStop};
    const char* const ports[] = {"COM1", "COM4", "LPT1", "Vitesse"};
    quarbe::IniText text{std::string(input)};
    std::vector<std::optional<std::string>> before;
    for (const char* port : ports) before.push_back(text.Value(quarbe::kPortsSection, port));
    const auto writeAll = [&] {
      for (std::size_t i = 0; i < std::size(texts); ++i)
        text.Set(texts[i].section, texts[i].key, i == 1 ? other : value);
      for (const auto& key : ints) text.Set(key.section, key.key, std::to_string(static_cast<int>(size) - 7));
    };
    writeAll();
    for (std::size_t i = 0; i < std::size(texts); ++i)
      Check(text.Value(texts[i].section, texts[i].key) == std::string(i == 1 ? other : value));
    for (const auto& key : ints) Check(text.Value(key.section, key.key) == std::to_string(static_cast<int>(size) - 7));
    for (std::size_t i = 0; i < std::size(ports); ++i) Check(text.Value(quarbe::kPortsSection, ports[i]) == before[i]);
    const std::string written = text.Bytes();
    writeAll();
    Check(text.Bytes() == written);
  }

  // The input as a command line and field texts, against a fixed settings
  // file with no rotator and no GPS, so nothing leaves the scratch directory.
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= input.size();) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    lines.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  const std::string safe = ScratchDir() + "/safe.ini";
  WriteFile(safe, "[Moteur]\nPort=0\n[GPS]\nPort=0\n");
  quarbe::ProfileStore store(safe);
  quarbe::testing::FakeView view;
  quarbe::BearingContext context(store, lines.front(), [](std::string_view, std::string_view) {});
  context.SetSleeper([](std::chrono::milliseconds) {});
  context.InitDialog(view);
  CheckResult(context);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t slot = (i - 1) % (std::size(kEditIds) + std::size(kListIds));
    if (slot < std::size(kEditIds)) {
      view.SetText(kEditIds[slot], lines[i]);
    } else {
      const int choice = lines[i].empty() ? -1 : static_cast<unsigned char>(lines[i][0]) % 3 - 1;
      view.SetSelection(kListIds[slot - std::size(kEditIds)], choice);
    }
  }
  context.CommitLocalLocator();
  CheckResult(context);
  context.CommitCorrespondentLocator();
  CheckResult(context);
  context.CommitLocalCoordinates();
  CheckResult(context);
  context.CommitCorrespondentCoordinates();
  CheckResult(context);
  context.CommitHeading();
  CheckResult(context);
  context.ApplyGpsFix(quarbe::Position{{45, 10, 0, 0}, {5, 43, 0, 0}}, static_cast<std::int32_t>(size % 361));
  CheckResult(context);
  context.OnDestroy();
  return 0;
}
