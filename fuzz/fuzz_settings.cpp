// Fuzzes what the program takes from outside apart from the GPS: the
// settings file, the command line and the texts in the window's fields.
// One input feeds four paths:
//  - the whole input as the settings file: every key must read back as its
//    type and the GPS speed must be one the serial driver supports;
//  - the input as a hand-edited file into which the seven owned keys are
//    written, with values cut from the input: each must read back as
//    written, the [Ports] entries must read as before, and writing the same
//    values again must not change a byte;
//  - the input's lines as a file in each form editors give it (a byte order
//    mark or none; LF, CRLF or lone CR line ends; the end stop first, its key
//    in UTF-8, Latin-1 or %E9): every form must read the same;
//  - that file changed by another program while the program runs, then
//    saved with some values changed: the values read back, the other
//    program's lines and values stay, lines without '=' are untouched, the
//    byte order mark and the single kind of line end stay, and saving what
//    was read leaves the file untouched;
//  - its first line as the command line and the following lines as field
//    texts (and hemisphere choices) of the form handed to a context: start-up,
//    every commit and a fix must leave finite results, every update must
//    name fields of the window only, a refused field must ask for its message
//    and its focus and nothing else, and every message must word.

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <iterator>
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

// The lines of `text` as the settings file cuts them: at "\r\n", "\n" or a
// lone "\r". `ended` tells whether the last one had its line end.
std::vector<std::string_view> Lines(std::string_view text, bool& ended) {
  std::vector<std::string_view> lines;
  std::size_t begin = 0;
  ended = false;
  while (begin < text.size()) {
    const std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    lines.push_back(text.substr(begin, end - begin));
    ended = end < text.size();
    begin = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
  }
  return lines;
}

struct FileForm {
  bool byteOrderMark;
  std::string_view lineEnd;
  std::string_view endStopKey;  // "Butée" as some program spelt it
};

// The input's lines in `form`, after a first section holding the end stop.
std::string Compose(std::string_view input, const FileForm& form, int endStopDeg) {
  std::string text = form.byteOrderMark ? "\xEF\xBB\xBF" : "";
  text += "[Moteur]";
  text += form.lineEnd;
  text += form.endStopKey;
  text += "=" + std::to_string(endStopDeg);
  text += form.lineEnd;
  bool ended = false;
  const std::vector<std::string_view> lines = Lines(input, ended);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || ended) text += form.lineEnd;
  }
  return text;
}

// Every value the program reads, and a few it does not own.
std::vector<std::optional<std::string>> Values(const quarbe::IniText& text) {
  const std::pair<std::string_view, std::string_view> keys[] = {
      {"Contexte", "Local"}, {"Contexte", "Corres"}, {"GPS", "Port"},     {"Moteur", "Port"},
      {"Moteur", "Rotation"}, {"Moteur", "Butée"},  {"Compas", "Image"}, {quarbe::kPortsSection, "COM1"},
      {quarbe::kPortsSection, "LPT1"}, {quarbe::kPortsSection, quarbe::kGpsSpeedKey}};
  std::vector<std::optional<std::string>> values;
  for (const auto& [section, key] : keys) values.push_back(text.Value(section, key));
  return values;
}

// The lines of `text` that hold no '=': nothing the program writes touches
// them.
std::vector<std::string_view> LinesWithoutEquals(std::string_view text) {
  bool ended = false;
  std::vector<std::string_view> kept;
  for (const std::string_view line : Lines(text, ended)) {
    if (line.find('=') == std::string_view::npos) kept.push_back(line);
  }
  return kept;
}

// Whether every line of `text` ends with `lineEnd` (the last one may have
// none).
bool OnlyLineEnd(std::string_view text, std::string_view lineEnd) {
  std::size_t ends = 0;
  for (std::size_t at = text.find(lineEnd); at != std::string_view::npos; at = text.find(lineEnd, at + lineEnd.size())) {
    ++ends;
  }
  const auto count = [&](char c) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), c)); };
  if (lineEnd == "\r\n") return count('\r') == ends && count('\n') == ends;
  return count('\r') + count('\n') == ends;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ino_t Inode(const std::string& path) {
  struct stat info {};
  Check(::stat(path.c_str(), &info) == 0);
  return info.st_ino;
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

  // The input's lines as a file in each form: all read the same.
  const FileForm base{false, "\n", "But%E9e"};
  const std::string_view lineEnds[] = {"\n", "\r\n", "\r"};
  const std::string_view endStopKeys[] = {"But%E9e", "But\xC3\xA9" "e", "But\xE9" "e"};
  const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
  const FileForm fileForm{(choice & 1) != 0, lineEnds[(choice >> 1) % 3], endStopKeys[(choice >> 3) % 3]};
  const int endStopDeg = static_cast<int>(size % 360);
  const std::string composed = Compose(input, fileForm, endStopDeg);
  const auto values = Values(quarbe::IniText(composed));
  Check(values == Values(quarbe::IniText(Compose(input, base, endStopDeg))));
  if (input.find('=') == std::string_view::npos) Check(values[5] == std::to_string(endStopDeg));

  // That file changed by another program while this one runs, then saved.
  if (composed.size() < 512 * 1024) {
    const std::string path = ScratchDir() + "/merged.ini";
    WriteFile(path, composed);
    quarbe::ProfileStore store(path);
    quarbe::Configuration configuration = quarbe::LoadConfiguration(store);
    const std::string correspondent = store.Read(quarbe::keys::kCorrespondentLocator);
    (void)store.Read(quarbe::keys::kLocalLocator);
    std::string other = composed;
    if (!other.ends_with('\n') && !other.ends_with('\r')) other += fileForm.lineEnd;
    const std::string lineEnd(fileForm.lineEnd);
    other += "[Moteur]" + lineEnd + "Rotation=7" + lineEnd + "[Fuzz]" + lineEnd + "Autre=autre programme" + lineEnd;
    WriteFile(path, other);

    const std::string_view local = input.substr(0, std::min(input.find('\n'), input.size()));
    configuration.endStopDeg = (configuration.endStopDeg + 1) % 360;
    configuration.endStopChoice = quarbe::EndStopChoiceFor(configuration.endStopDeg);
    configuration.gpsPort = static_cast<std::int32_t>(size % 5);
    store.Write(quarbe::keys::kLocalLocator, local);
    store.Write(quarbe::keys::kCorrespondentLocator, correspondent);
    quarbe::SaveConfiguration(store, configuration);
    Check(store.Flush());

    // The program's values read back; the other program's stay.
    const std::string saved = ReadWhole(path);
    const quarbe::IniText savedText(saved);
    {
      const quarbe::ProfileStore reader(path);
      quarbe::Configuration expected = configuration;
      expected.rotationSense = 7;
      Check(quarbe::LoadConfiguration(reader) == expected);
      Check(reader.Read(quarbe::keys::kLocalLocator) == local);
      Check(reader.Read(quarbe::keys::kCorrespondentLocator) == correspondent);
    }
    const auto before = Values(quarbe::IniText(other));
    const auto after = Values(savedText);
    for (std::size_t i = 7; i < after.size(); ++i) Check(after[i] == before[i]);
    Check(savedText.Value("Fuzz", "Autre") == std::string("autre programme"));
    Check(saved.starts_with("\xEF\xBB\xBF") == fileForm.byteOrderMark);
    Check(OnlyLineEnd(saved, fileForm.lineEnd));
    // Lines without '=' all stay, in order; only section headers and blank
    // lines come after them.
    const std::vector<std::string_view> kept = LinesWithoutEquals(other);
    const std::vector<std::string_view> now = LinesWithoutEquals(saved);
    Check(now.size() >= kept.size() && std::equal(kept.begin(), kept.end(), now.begin()));
    for (std::size_t i = kept.size(); i < now.size(); ++i) Check(now[i].empty() || now[i].starts_with('['));

    // A run that changes nothing leaves the file as it is.
    const ino_t inode = Inode(path);
    {
      quarbe::ProfileStore again(path);
      again.Write(quarbe::keys::kLocalLocator, again.Read(quarbe::keys::kLocalLocator));
      again.Write(quarbe::keys::kCorrespondentLocator, again.Read(quarbe::keys::kCorrespondentLocator));
      quarbe::SaveConfiguration(again, quarbe::LoadConfiguration(again));
      Check(again.Flush());
    }
    Check(Inode(path) == inode && ReadWhole(path) == saved);
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
