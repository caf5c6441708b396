#pragma once
// The system's text for an error number, as the device edges (GPS reader,
// rotator port) show it to the operator.

#include <cstring>
#include <string>

namespace quarbe {

namespace system_error_detail {
// strerror_r comes in two flavours (XSI returns an int, GNU a pointer); these
// overloads take whichever the C library provides.
[[maybe_unused]] inline std::string TextFrom(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] inline std::string TextFrom(const char* result, const char* /*buffer*/) {
  return result != nullptr ? std::string(result) : std::string();
}
}  // namespace system_error_detail

// The text follows the process's LC_MESSAGES locale, that is, the user's
// language once the application has called setlocale().
inline std::string SystemErrorText(int errorNumber) {
  char buffer[256] = {};
  std::string text = system_error_detail::TextFrom(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
  if (text.empty()) text = "Erreur " + std::to_string(errorNumber);
  return text;
}

}  // namespace quarbe
