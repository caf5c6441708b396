#pragma once
// Where the program's helper programs are: libexec/quarbe beside the bin
// directory of the running program (an installed tree, wherever it was
// moved, and the build tree), else under the configured installation prefix.

#include <sys/resource.h>

#include <string>
#include <string_view>

namespace quarbe {

// The directory of the running program, with a trailing '/'; empty when
// the system does not say.
std::string ProgramDirectory();

// The helper program `name`'s path, or empty when it is in neither place or
// cannot be run.
std::string HelperProgramPath(std::string_view name);

// Run by a helper program first, before it touches what it was given: it
// dies with the program that started it (and exits at once if that has
// already ended), leaves no core file, writes no file (its output is a pipe
// or a socket), and keeps to `addressSpaceBytes` of address space. Under a
// sanitizer, whose shadow memory reserves terabytes of address space, the
// address-space limit is not set.
void LimitHelperProcess(rlim_t addressSpaceBytes);

// setrlimit with both limits, its failure ignored: a limit is a safeguard,
// and a helper without it still does its work.
void SetResourceLimit(int resource, rlim_t soft, rlim_t hard);

}  // namespace quarbe
