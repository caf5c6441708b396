#pragma once
// The structure check an enhanced metafile passes before it reaches the
// converter, which trusts its input more than a file picked by the operator
// deserves.

#include <cstddef>
#include <optional>
#include <string_view>

namespace quarbe {

// The largest metafile taken as a compass picture. A detailed vector
// drawing of a vehicle and a dial is tens of kilobytes (the default picture
// is 16 KiB); 2 MiB leaves room for an embedded photograph while keeping the
// conversion well inside its time and memory limits.
inline constexpr std::size_t kMaxEmfBytes = 2 * 1024 * 1024;

// The metafile's length when `bytes` starts with a complete one:
//  - a header record (type 1, size 88 or more and a multiple of 4, the
//    " EMF" signature, a description inside the record) whose byte count
//    the bytes hold and is at most kMaxEmfBytes;
//  - then records, each of at least 8 bytes, a multiple of 4, and inside
//    that byte count;
//  - the last of them the end-of-file record (type 14, 20 bytes or more),
//    ending exactly at the byte count; no other header or end record.
// Nothing otherwise. Bytes after the byte count are not part of the
// metafile and are not handed on.
std::optional<std::size_t> CompleteEmfLength(std::string_view bytes);

}  // namespace quarbe
