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
//    texts (and hemisphere choices) of the form handed to a context: start-up,
//    every commit and a fix must leave finite results, every update must
//    name fields of the window only, a refused field must ask for its message
//    and its focus and nothing else, and every message must word.

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
#include "context/field_table.h"
#include "context/ini_text.h"
#include "context/profile_store.h"
#include "ui/operator_texts.h"

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

void CheckMessage(const quarbe::Message& message) { Check(!quarbe::Word(message).text.empty()); }

void CheckUpdate(const quarbe::BearingContext& context, const quarbe::Update& update) {
  Check(std::isfinite(context.result().distanceKm));
  for (const quarbe::FieldWrite& write : update.writes) Check(quarbe::FindField(write.id) != nullptr);
  if (update.message) CheckMessage(*update.message);
  if (update.focus) {
    // Only a refused field takes the focus with its text selected, and its
    // update asks for nothing else.
    Check(update.focus->selectAll == update.message.has_value());
    if (update.focus->selectAll) Check(update.writes.empty() && !update.needleDeg && !update.rotatorTarget);
  }
}

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
    const std::string_view ports[] = {"COM1", "COM4", "LPT1", quarbe::kGpsSpeedKey};
    quarbe::IniText text{std::string(input)};
    std::vector<std::optional<std::string>> before;
    for (const std::string_view port : ports) before.push_back(text.Value(quarbe::kPortsSection, port));
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
  // file in the scratch directory, which the context writes at exit.
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= input.size();) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    lines.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  const std::string safe = ScratchDir() + "/safe.ini";
  WriteFile(safe, "[Moteur]\nPort=0\n[GPS]\nPort=0\n");
  quarbe::ProfileStore store(safe);
  quarbe::BearingContext context(store, lines.front());
  for (const quarbe::Message& message : context.StartupMessages()) CheckMessage(message);
  for (const quarbe::Update& update : context.InitDialog()) CheckUpdate(context, update);
  // Texts for the edits, choices for the lists, in the exchange order.
  quarbe::Form form;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const quarbe::Field& field = quarbe::kFields[quarbe::kExchangeOrder[(i - 1) % quarbe::kExchangeOrder.size()]];
    if (field.kind == quarbe::FieldKind::kHemisphere) {
      form.SetSelection(field.id, lines[i].empty() ? -1 : static_cast<unsigned char>(lines[i][0]) % 3 - 1);
    } else {
      form.SetText(field.id, lines[i]);
    }
  }
  CheckUpdate(context, context.CommitLocalLocator(form));
  CheckUpdate(context, context.CommitCorrespondentLocator(form));
  CheckUpdate(context, context.CommitLocalCoordinates(form));
  CheckUpdate(context, context.CommitCorrespondentCoordinates(form));
  CheckUpdate(context, context.CommitHeading(form));
  const auto fix =
      context.ApplyGpsFix(quarbe::Position{{45, 10, 0, 0}, {5, 43, 0, 0}}, static_cast<std::int32_t>(size % 361));
  Check(fix.has_value());
  CheckUpdate(context, *fix);
  context.OnDestroy();
  return 0;
}
