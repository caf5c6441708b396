#include "picture/emf_records.h"

#include <cstdint>

namespace quarbe {
namespace {

constexpr std::uint32_t kHeaderType = 1;
constexpr std::uint32_t kEndOfFileType = 14;
constexpr std::uint32_t kSignature = 0x464D4520;  // " EMF", little-endian
// Header record layout: type at 0, size at 4, signature at 40, byte count
// at 48, description length (UTF-16 units) at 60 and offset at 64; 88 bytes
// in its smallest form.
constexpr std::size_t kMinHeaderBytes = 88;
constexpr std::size_t kMinEndOfFileBytes = 20;
constexpr std::size_t kRecordPrefixBytes = 8;  // type and size

std::uint32_t ReadU32(std::string_view bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return value;
}

}  // namespace

std::optional<std::size_t> CompleteEmfLength(std::string_view bytes) {
  if (bytes.size() < kMinHeaderBytes || ReadU32(bytes, 0) != kHeaderType) return std::nullopt;
  const std::size_t headerSize = ReadU32(bytes, 4);
  const std::size_t total = ReadU32(bytes, 48);
  if (headerSize < kMinHeaderBytes || headerSize % 4 != 0 || ReadU32(bytes, 40) != kSignature) return std::nullopt;
  if (total > bytes.size() || total > kMaxEmfBytes || headerSize + kMinEndOfFileBytes > total) return std::nullopt;
  const std::size_t descriptionUnits = ReadU32(bytes, 60);
  const std::size_t descriptionOffset = ReadU32(bytes, 64);
  if (descriptionUnits != 0 &&
      (descriptionOffset < kMinHeaderBytes || descriptionOffset > headerSize ||
       descriptionUnits > (headerSize - descriptionOffset) / 2))
    return std::nullopt;

  for (std::size_t offset = headerSize; offset + kRecordPrefixBytes <= total;) {
    const std::uint32_t type = ReadU32(bytes, offset);
    const std::size_t size = ReadU32(bytes, offset + 4);
    if (size < kRecordPrefixBytes || size % 4 != 0 || size > total - offset || type == kHeaderType)
      return std::nullopt;
    offset += size;
    if (type == kEndOfFileType) {
      if (size < kMinEndOfFileBytes || offset != total) return std::nullopt;
      return total;
    }
  }
  return std::nullopt;
}

}  // namespace quarbe
