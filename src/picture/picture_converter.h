#pragma once
// Running the metafile converter in a process of its own. The converter is
// an old C library fed files the operator picks; in a child process a crash,
// a hang or a blow-up of it costs the picture and nothing else. The child is
// the helper program quarbe-emf2svg, installed beside the program (under
// libexec/quarbe), which also limits its own memory and processor time.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarbe {

// The largest SVG text taken back: the default picture converts to 15 KiB;
// a 2 MiB metafile with an embedded photograph stays well under this.
inline constexpr std::size_t kMaxSvgBytes = 8 * 1024 * 1024;
// How long a conversion may take, start of the child included. The default
// picture takes a few milliseconds.
inline constexpr std::chrono::milliseconds kConversionTimeLimit{2000};

struct FilterLimits {
  std::chrono::milliseconds time = kConversionTimeLimit;
  std::size_t maxOutputBytes = kMaxSvgBytes;
};

// Runs the program argv[0] (a path, not looked up in PATH) with `argv`,
// `input` on its standard input, its standard error discarded, and returns
// what it wrote on its standard output, if it ended by itself with status 0
// within the limits. A child that takes longer, writes more or is killed by
// a signal gives nothing; a child still running then is killed. Blocks the
// calling thread for at most about limits.time.
std::optional<std::string> RunFilter(const std::vector<std::string>& argv, std::string_view input,
                                     const FilterLimits& limits = {});

// The directory of the running program, with a trailing '/'; empty when
// the system does not say.
std::string ProgramDirectory();

// The helper program: libexec/quarbe/quarbe-emf2svg beside the running
// program's bin directory (an installed tree, wherever it was moved, and the
// build tree), else under the configured installation prefix. Empty when
// neither is there.
std::string ConverterPath();

// The SVG for a metafile that passed CompleteEmfLength, converted by the
// helper; nothing when the helper is missing or the conversion fails.
std::optional<std::string> ConvertEmfToSvg(std::string_view emf);

}  // namespace quarbe
