#pragma once
// Running the metafile converter and renderer in a process of its own. The
// converter is an old C library and the SVG renderer a large one, both fed
// files the operator picks; in a child process a crash, a hang or a blow-up
// of either costs the picture and nothing else. The child is the helper
// program quarbe-emf2svg, installed beside the program (under
// libexec/quarbe), which also limits its own memory and processor time. What
// comes back is plain pixels, of the size asked for and nothing else.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarbe {

// How long a render may take, start of the child included. The helper
// stops itself after 2 s of processor time; this bound is on the clock, for
// a child that waits instead of computing, with room for a loaded machine
// (the default picture takes a small fraction of a second). Nothing waits
// for it: the window goes on meanwhile.
inline constexpr std::chrono::milliseconds kRenderTimeLimit{5000};

// The largest side, in pixels, a picture is rendered at: the compass is
// about 200 pixels square, twice that on a high-density screen.
inline constexpr int kMaxRenderSidePx = 2048;

struct FilterLimits {
  std::chrono::milliseconds time = kRenderTimeLimit;
  std::size_t maxOutputBytes = 0;
};

// A child process given `input` on its standard input (its standard error
// discarded), whose standard output is collected without ever blocking the
// caller: Step() reads what has arrived, and the caller watches OutputFd()
// (an event loop, or poll) between steps. A child that runs past the time
// limit, writes more than the limit or is killed by a signal fails. A child
// still running when the object goes away is killed and reaped.
class FilterRun {
 public:
  enum class State { kRunning, kSucceeded, kFailed };

  // Starts argv[0] (a path, not looked up in PATH); nullptr when it cannot
  // be started.
  static std::unique_ptr<FilterRun> Start(const std::vector<std::string>& argv, std::string_view input,
                                          const FilterLimits& limits);
  ~FilterRun();
  FilterRun(const FilterRun&) = delete;
  FilterRun& operator=(const FilterRun&) = delete;

  // Reads what the child has written so far, checks the limits and, once
  // its output has ended, whether it has exited with status 0. Never blocks.
  State Step();
  // Steps until the run is over: at most until the time limit.
  State Wait();
  // Ends the run now: the child is killed and reaped; the run has failed.
  void Cancel();

  // Readable when the child has written more or closed its output; valid
  // for the object's whole life.
  int OutputFd() const { return output_; }
  // Whether the child has closed its output. It normally exits at once;
  // until it has, Step() has to be called again, shortly.
  bool OutputEnded() const { return outputEnded_; }
  std::chrono::steady_clock::time_point Deadline() const { return deadline_; }
  // What the child wrote; complete once Step() has returned kSucceeded.
  const std::string& Output() const { return bytes_; }

 private:
  FilterRun(pid_t pid, int output, std::chrono::steady_clock::time_point deadline, std::size_t maxOutputBytes);
  State Finish(State state);

  pid_t pid_;
  int output_;
  std::chrono::steady_clock::time_point deadline_;
  std::size_t maxOutputBytes_;
  std::string bytes_;
  bool outputEnded_ = false;
  State state_ = State::kRunning;
};

// Runs argv with `input` and returns what it wrote on its standard output,
// if it ended by itself with status 0 within the limits. Blocks the calling
// thread for at most about limits.time.
std::optional<std::string> RunFilter(const std::vector<std::string>& argv, std::string_view input,
                                     const FilterLimits& limits);

// What the helper writes for a picture rendered at width × height pixels:
// that many 32-bit words 0xAARRGGBB (not premultiplied, so that any value
// is a valid colour), in this machine's byte order, rows top to bottom, and
// nothing else. Nothing for a size outside 1..kMaxRenderSidePx.
inline std::optional<std::size_t> RenderedBytes(int widthPx, int heightPx) {
  if (widthPx < 1 || heightPx < 1 || widthPx > kMaxRenderSidePx || heightPx > kMaxRenderSidePx) return std::nullopt;
  return static_cast<std::size_t>(widthPx) * static_cast<std::size_t>(heightPx) * 4;
}

// The helper's command line for rendering a metafile (given on its standard
// input) at width × height pixels; empty when the helper is missing or the
// size is out of range.
std::vector<std::string> RenderCommand(int widthPx, int heightPx);

}  // namespace quarbe
