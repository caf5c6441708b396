#pragma once
// A fresh temporary directory, removed with everything in it when this goes
// away: a home for the program under test, the logs of a daemon, a place for
// a FIFO or a symbolic link.

#include <string>
#include <string_view>

namespace quarbe::testing_support {

class ScratchDir {
 public:
  // Throws std::system_error when no directory can be made.
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes `text` to the file `name` (created or truncated); returns its path.
  std::string Write(std::string_view name, std::string_view text) const;

 private:
  std::string path_;
};

}  // namespace quarbe::testing_support
