#pragma once
// Where the program's helper programs are: libexec/quarbe beside the bin
// directory of the running program (an installed tree, wherever it was
// moved, and the build tree), else under the configured installation prefix.

#include <string>
#include <string_view>

namespace quarbe {

// The helper program `name`'s path, or empty when it is in neither place or
// cannot be run.
std::string HelperProgramPath(std::string_view name);

}  // namespace quarbe
