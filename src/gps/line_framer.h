#pragma once
// Cutting the bytes received from the GPS into lines. Reads go straight into
// a 1024-byte buffer; each complete line that starts with '$' is handed on,
// other lines are skipped. The unfinished line at the end of a read is kept
// for the next read only if it starts with '$' and is shorter than 100 bytes,
// so junk and overlong lines cannot fill the buffer.

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

namespace quarbe {

class LineFramer {
 public:
  static constexpr std::size_t kCapacity = 1024;
  // An unfinished line is kept only when it is shorter than this.
  static constexpr std::size_t kMaxCarried = 100;

  using LineSink = std::function<void(std::string_view line)>;

  // Where the next read goes: the free space after the carried bytes, always
  // at least kCapacity - kMaxCarried + 1 bytes.
  std::span<char> FreeSpace();

  // Takes `count` bytes that were just written at the start of FreeSpace()
  // (count <= FreeSpace().size()). Calls `sink` for every complete line that
  // starts with '$', in order, without its line feed; then keeps or drops the
  // unfinished rest. A count of 0 keeps the unfinished line as it is.
  void Commit(std::size_t count, const LineSink& sink);

  // Copies `bytes` in through FreeSpace()/Commit() as successive reads of at
  // most the free space each.
  void Feed(std::string_view bytes, const LineSink& sink);

  // Bytes of the unfinished line held from earlier reads.
  std::size_t Carried() const { return carried_; }

  // Forgets the unfinished line.
  void Reset() { carried_ = 0; }

 private:
  char buffer_[kCapacity];
  std::size_t carried_ = 0;
};

}  // namespace quarbe
