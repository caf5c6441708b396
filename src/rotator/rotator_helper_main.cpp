// quarbe-rotator MODEL DEVICE SPEED [NAME=VALUE...]: drives one rotator through Hamlib's
// rotator library for Quarbe, which starts it for each connection to a
// controller on a serial line. A backend fed bytes it does not expect can
// crash, loop or block; here that costs this process, which Quarbe notices,
// ends and starts again, and nothing else.
//
// It opens the rotator at once and says how that went on its standard
// output, then serves one request per line from its standard input until
// that closes (see rotator/helper_protocol.h). It limits its own memory and
// writes no file, and dies with the thread that started it.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "common/helper_program.h"
#include "rotator/hamlib_device.h"
#include "rotator/helper_protocol.h"

namespace {

void LimitSelf() {
  // A rotator backend needs a few megabytes; a runaway one is stopped long
  // before it troubles the machine.
  constexpr rlim_t kAddressSpaceBytes = 256u * 1024 * 1024;
  quarbe::LimitHelperProcess(kAddressSpaceBytes);
}

bool WriteLine(const std::string& line) {
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = write(STDOUT_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The next request line, without its '\n'; false at the end of the input
// or on a line longer than any request.
bool ReadLine(std::string& pending, std::string& line) {
  for (;;) {
    if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 1);
      return true;
    }
    if (pending.size() > quarbe::kHelperLineLimit) return false;
    char buffer[256];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ParseNumber(const char* text, int& value) {
  const char* end = text + std::strlen(text);
  const auto result = std::from_chars(text, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

int main(int argc, char** argv) {
  LimitSelf();
  quarbe::HamlibAddress address;
  if (argc < 4 || !ParseNumber(argv[1], address.model) || !ParseNumber(argv[3], address.speedBaud)) return 2;
  address.device = argv[2];
  for (int i = 4; i < argc; ++i) {
    const std::string_view setting = argv[i];
    const std::size_t equals = setting.find('=');
    if (equals == std::string_view::npos) return 2;
    address.settings.push_back({std::string(setting.substr(0, equals)), std::string(setting.substr(equals + 1))});
  }

  quarbe::HamlibDevice device(address);
  auto opened = device.Open();
  if (const auto* failure = std::get_if<quarbe::HamlibFailure>(&opened)) {
    WriteLine(quarbe::EncodeReply(quarbe::HelperFailedOf(*failure)));
    return 1;
  }
  if (!WriteLine(quarbe::EncodeReply(std::get<quarbe::HamlibRotatorInfo>(opened)))) return 1;

  std::string pending;
  std::string line;
  while (ReadLine(pending, line)) {
    const std::optional<quarbe::HelperRequest> request = quarbe::DecodeRequest(line);
    if (!request) return 2;
    quarbe::HelperReply reply = quarbe::HelperDone{};
    if (const auto* set = std::get_if<quarbe::HelperSet>(&*request)) {
      if (auto failure = device.SetAzimuth(set->azimuthDeg)) reply = quarbe::HelperFailedOf(*failure);
    } else {
      auto azimuth = device.Azimuth();
      if (const auto* failure = std::get_if<quarbe::HamlibFailure>(&azimuth)) {
        reply = quarbe::HelperFailedOf(*failure);
      } else {
        reply = quarbe::HelperAt{std::get<double>(azimuth)};
      }
    }
    if (!WriteLine(quarbe::EncodeReply(reply))) break;
  }
  device.Close();
  return 0;
}
