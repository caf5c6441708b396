#pragma once
// Whole numbers as the operator types them in a field or writes them in the
// settings file.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarbe {

// `text` without the blanks (space, tab, line ends, vertical tab, form feed)
// around it.
inline std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// Blanks around it, an optional sign, decimal digits, nothing else; it must
// fit 32 bits.
inline std::optional<std::int32_t> ParseWholeNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace quarbe
