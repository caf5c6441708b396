// quarbe-emf2svg: converts one enhanced metafile, read from the standard
// input, into SVG on the standard output. Quarbe runs it in a child process
// for each compass picture it loads, so that whatever the converter does
// with a hostile file stays in this process. It exits with status 1, having
// written nothing, when the input is not a complete metafile within the
// size limit or the conversion fails; it limits its own memory, processor
// time and file writes, and dies with the program that started it.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <emf2svg.h>

#include "picture/emf_records.h"
#include "picture/picture_converter.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARBE_SANITIZED 1
#endif
#endif

namespace {

constexpr rlim_t kProcessorSeconds = 2;

void Limit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  setrlimit(resource, &limit);
}

void LimitSelf() {
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);  // the program ended before the line above
  Limit(RLIMIT_CPU, kProcessorSeconds, kProcessorSeconds + 1);
  Limit(RLIMIT_CORE, 0, 0);   // a crash leaves no core file behind
  Limit(RLIMIT_FSIZE, 0, 0);  // no file is written (the output is a pipe)
#ifndef QUARBE_SANITIZED
  // Far more than converting a 2 MiB metafile takes, far less than a
  // blow-up would take from the machine. A sanitizer reserves terabytes of
  // address space for its shadow memory: those builds go without.
  constexpr rlim_t kAddressSpaceBytes = 512u * 1024 * 1024;
  Limit(RLIMIT_AS, kAddressSpaceBytes, kAddressSpaceBytes);
#endif
}

bool ReadInput(std::string& input) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    input.append(buffer, static_cast<std::size_t>(n));
    if (input.size() > quarbe::kMaxEmfBytes) return false;
  }
}

bool WriteOutput(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main() {
  LimitSelf();
  std::string input;
  if (!ReadInput(input)) _exit(1);
  const auto length = quarbe::CompleteEmfLength(input);
  if (!length) _exit(1);
  input.resize(*length);

  generatorOptions options{};
  options.nameSpace = nullptr;  // plain SVG element names
  options.verbose = false;
  // EMF+ records are left alone: the converter's EMF+ code frees memory
  // twice on some files and keeps state from one picture to the next. A
  // picture with EMF+ records also carries the plain records every player
  // draws, and those are converted.
  options.emfplus = false;
  options.svgDelimiter = true;
  options.imgHeight = 0;
  options.imgWidth = 0;
  char* out = nullptr;
  std::size_t outLength = 0;
  const int converted = emf2svg(input.data(), input.size(), &out, &outLength, &options);
  if (converted == 0 || out == nullptr || outLength == 0 || outLength > quarbe::kMaxSvgBytes) _exit(1);
  // _exit: nothing of the converter's state needs tidying, and a leak
  // checker in a sanitizer build has nothing to say about a finished child.
  _exit(WriteOutput(out, outLength) ? 0 : 1);
}
