#pragma once
// The text of an INI settings file, kept byte for byte so that a program can
// change the few values it owns and leave every other byte as the operator
// wrote it: comments, blank lines, spacing, sections and keys of its own,
// values in any encoding, line endings.
//
// Reading follows the INI dialect the program has always written and read:
//  - a UTF-8 byte order mark at the start is skipped; "\r\n", "\n" and a
//    lone "\r" all end a line;
//  - "[Section]" lines open a section; "key=value" lines inside it hold
//    values; a line whose first non-blank byte is ';' or '#' is a comment;
//  - section and key names are matched exactly after %XX (Latin-1) and
//    %UXXXX escapes and bytes that are not UTF-8 (Latin-1 again) are decoded
//    to UTF-8, so "But%E9e", "Butée" in UTF-8 and "But\xE9e" are the same
//    key; when a key appears more than once the last one counts;
//  - a value is trimmed; double quotes keep blanks, commas and semicolons;
//    backslash escapes (\n, \t, \", \\, \xHHHH, \ooo ...) are decoded; an
//    unquoted ';' starts a comment; unquoted commas separate list items,
//    which come back joined by single commas; a leading "@@" stands for '@'.
//    Bytes that are not UTF-8 come back unchanged.

#include <optional>
#include <string>
#include <string_view>

namespace quarbe {

class IniText {
 public:
  IniText() = default;
  explicit IniText(std::string bytes) : text_(std::move(bytes)) {}

  // The decoded value of `key` in `section`, or nothing when it is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // Gives `key` in `section` the value `value` (any bytes):
  //  - when the key is present, only its value is replaced, keeping the
  //    key's own spelling, the blanks around the value and a trailing
  //    comment; a value that already decodes to `value` is left untouched;
  //  - otherwise "key=value" is added after the last key of the section,
  //    or, without that section, a new section is added at the end.
  // New keys are written with non-ASCII letters escaped (%E9), as every
  // reader of the file understands them. New lines end like the file's
  // first line ("\r\n", "\n" or "\r"); a byte order mark stays.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Gives `key` in `section` the value `value` only when the key is missing.
  void Add(std::string_view section, std::string_view key, std::string_view value) {
    if (!Value(section, key)) Set(section, key, value);
  }

  const std::string& Bytes() const { return text_; }

  // The value as written after "key=": quoted when it has blanks at its
  // ends, a comma, a semicolon or an equals sign; quotes, backslashes and
  // control characters escaped; a leading '@' doubled.
  static std::string EscapeValue(std::string_view value);

 private:
  std::string text_;
};

}  // namespace quarbe
