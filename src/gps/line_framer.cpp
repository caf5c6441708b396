#include "gps/line_framer.h"

#include <algorithm>
#include <cstring>

namespace quarbe {

std::span<char> LineFramer::FreeSpace() { return {buffer_ + carried_, kCapacity - carried_}; }

void LineFramer::Commit(std::size_t count, const LineSink& sink) {
  const std::size_t total = carried_ + std::min(count, kCapacity - carried_);
  const char* const data = buffer_;
  std::size_t start = 0;
  while (start < total) {
    const void* feed = std::memchr(data + start, '\n', total - start);
    if (feed == nullptr) break;
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(feed) - data);
    if (data[start] == '$') sink(std::string_view(data + start, end - start));
    start = end + 1;
  }
  const std::size_t rest = total - start;
  if (rest > 0 && rest < kMaxCarried && data[start] == '$') {
    std::memmove(buffer_, data + start, rest);
    carried_ = rest;
  } else {
    carried_ = 0;
  }
}

void LineFramer::Feed(std::string_view bytes, const LineSink& sink) {
  do {
    const std::span<char> space = FreeSpace();
    const std::size_t chunk = std::min(space.size(), bytes.size());
    std::memcpy(space.data(), bytes.data(), chunk);
    Commit(chunk, sink);
    bytes.remove_prefix(chunk);
  } while (!bytes.empty());
}

}  // namespace quarbe
