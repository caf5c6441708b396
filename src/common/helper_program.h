#pragma once
// Where the program's helper programs are: libexec/quarbe beside the bin
// directory of the running program (an installed tree, wherever it was
// moved, and the build tree), else under the configured installation prefix.

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <optional>
#include <string_view>
#include <vector>

namespace quarbe {

// The directory of the running program, with a trailing '/'; empty when
// the system does not say.
std::string ProgramDirectory();

// The helper program `name`'s path, or empty when it is in neither place or
// cannot be run.
std::string HelperProgramPath(std::string_view name);

// Starts the helper argv[0] (a path, not looked up in PATH) with `input` as
// its standard input, `output` as its standard output and /dev/null as its
// standard error, in a process group of its own (so that it can be ended
// with whatever it started), every signal at its default disposition and
// none blocked, and no other descriptor of this process. posix_spawn rather
// than fork: this process has threads, and the child must run nothing of
// this program before exec. Nothing, with the system's error number in
// `errorNumber`, when it could not be started.
std::optional<pid_t> SpawnHelper(const std::vector<std::string>& argv, int input, int output, int& errorNumber);

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
