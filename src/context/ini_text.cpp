#include "context/ini_text.h"

#include <cstdint>
#include <vector>

namespace quarbe {
namespace {

struct Line {
  enum class Kind { kOther, kSection, kKey };
  std::size_t end = 0;   // end of the content, before "\r\n" or "\n"
  std::size_t next = 0;  // start of the next line
  Kind kind = Kind::kOther;
  std::string name;  // decoded section name or key
  // The value as written, without the blanks around it and a comment after
  // it; for an empty value both are just after the '='.
  std::size_t valueBegin = 0;
  std::size_t valueEnd = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Up to `maxDigits` digits of the given base from text[i]; advances i past
// them. Nothing when there is no digit.
std::optional<std::uint32_t> ReadNumber(std::string_view text, std::size_t& i, int base, int maxDigits) {
  std::uint32_t value = 0;
  int digits = 0;
  while (i < text.size() && digits < maxDigits) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) break;
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    ++i;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// Section and key names: %XX is a Latin-1 character, %UXXXX any character
// of the basic plane; both become UTF-8. Other bytes stay as they are.
std::string DecodeName(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size();) {
    if (raw[i] == '%') {
      std::size_t j = i + 1;
      const bool wide = j < raw.size() && raw[j] == 'U';
      if (wide) ++j;
      const std::size_t start = j;
      const auto code = ReadNumber(raw, j, 16, wide ? 4 : 2);
      if (code && j - start == (wide ? 4u : 2u)) {
        AppendUtf8(out, *code);
        i = j;
        continue;
      }
    }
    out += raw[i++];
  }
  return out;
}

// The reverse for a new key or section: printable ASCII stays, everything
// else is escaped by character (the name is UTF-8; a stray byte is escaped
// as the Latin-1 character of that value).
std::string EncodeName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    std::uint32_t code = byte;
    std::size_t length = 1;
    if (byte >= 0xC2 && byte <= 0xDF && i + 1 < name.size() && (name[i + 1] & 0xC0) == 0x80) {
      code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
      length = 2;
    } else if (byte >= 0xE0 && byte <= 0xEF && i + 2 < name.size() && (name[i + 1] & 0xC0) == 0x80 &&
               (name[i + 2] & 0xC0) == 0x80) {
      code = ((byte & 0x0Fu) << 12) | ((static_cast<unsigned char>(name[i + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(name[i + 2]) & 0x3Fu);
      length = 3;
    }
    i += length;
    const bool plain = code > 0x20 && code < 0x7F && std::string_view("%=;[]\"\\#").find(static_cast<char>(code)) ==
                                                         std::string_view::npos;
    if (plain) {
      out += static_cast<char>(code);
    } else if (code < 0x100) {
      out += '%';
      out += kHex[code >> 4];
      out += kHex[code & 0xF];
    } else {
      out += "%U";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
    }
  }
  return out;
}

std::string UnescapeValue(std::string_view raw) {
  std::string joined;
  std::string item;
  std::size_t keep = 0;  // item length without trailing unquoted blanks
  bool inQuotes = false;
  bool itemStart = true;
  bool firstItem = true;
  const auto finishItem = [&] {
    item.resize(keep);
    if (!firstItem) joined += ',';
    joined += item;
    firstItem = false;
    item.clear();
    keep = 0;
    itemStart = true;
  };
  for (std::size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (!inQuotes && itemStart && IsBlank(c)) {
      ++i;
      continue;
    }
    itemStart = false;
    if (c == '"') {
      inQuotes = !inQuotes;
      keep = item.size();
      ++i;
      continue;
    }
    if (!inQuotes && c == ',') {
      finishItem();
      ++i;
      continue;
    }
    if (c == '\\') {
      ++i;
      if (i == raw.size()) break;
      const char escaped = raw[i];
      if (escaped == 'x') {
        ++i;
        if (const auto code = ReadNumber(raw, i, 16, 4)) {
          AppendUtf8(item, *code);
        } else {
          item += 'x';
        }
      } else if (escaped >= '0' && escaped <= '7') {
        AppendUtf8(item, *ReadNumber(raw, i, 8, 3));
      } else {
        switch (escaped) {
          case 'a': item += '\a'; break;
          case 'b': item += '\b'; break;
          case 'f': item += '\f'; break;
          case 'n': item += '\n'; break;
          case 'r': item += '\r'; break;
          case 't': item += '\t'; break;
          case 'v': item += '\v'; break;
          default: item += escaped; break;
        }
        ++i;
      }
      keep = item.size();
      continue;
    }
    item += c;
    if (inQuotes || !IsBlank(c)) keep = item.size();
    ++i;
  }
  finishItem();
  if (joined.size() >= 2 && joined[0] == '@' && joined[1] == '@') joined.erase(0, 1);
  return joined;
}

std::vector<Line> Scan(const std::string& text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    Line line;
    const std::size_t feed = text.find('\n', begin);
    line.next = feed == std::string::npos ? text.size() : feed + 1;
    line.end = feed == std::string::npos ? text.size() : feed;
    if (line.end > begin && text[line.end - 1] == '\r') --line.end;

    std::size_t p = begin;
    while (p < line.end && IsBlank(text[p])) ++p;
    if (p < line.end && text[p] == '[') {
      const std::string_view inside(text.data() + p + 1, line.end - p - 1);
      const std::size_t close = inside.rfind(']');
      line.kind = Line::Kind::kSection;
      line.name = DecodeName(Trim(inside.substr(0, close)));
    } else if (p < line.end && text[p] != ';' && text[p] != '#') {
      const std::size_t equals = text.find('=', p);
      if (equals != std::string::npos && equals < line.end) {
        line.kind = Line::Kind::kKey;
        line.name = DecodeName(Trim(std::string_view(text.data() + p, equals - p)));
        std::size_t start = equals + 1;
        while (start < line.end && IsBlank(text[start])) ++start;
        // The value runs to the end of the line or to a ';' outside quotes.
        std::size_t stop = start;
        bool inQuotes = false;
        for (; stop < line.end; ++stop) {
          const char c = text[stop];
          if (c == '\\') {
            if (stop + 1 < line.end) ++stop;
          } else if (c == '"') {
            inQuotes = !inQuotes;
          } else if (c == ';' && !inQuotes) {
            break;
          }
        }
        while (stop > start && IsBlank(text[stop - 1])) --stop;
        if (stop == start) start = stop = equals + 1;
        line.valueBegin = start;
        line.valueEnd = stop;
      }
    }
    lines.push_back(std::move(line));
    begin = lines.back().next;
  }
  return lines;
}

}  // namespace

std::optional<std::string> IniText::Value(std::string_view section, std::string_view key) const {
  std::optional<std::string> value;
  bool inSection = section.empty();
  for (const Line& line : Scan(text_)) {
    if (line.kind == Line::Kind::kSection) {
      inSection = line.name == section;
    } else if (line.kind == Line::Kind::kKey && inSection && line.name == key) {
      value = UnescapeValue(std::string_view(text_).substr(line.valueBegin, line.valueEnd - line.valueBegin));
    }
  }
  return value;
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::vector<Line> lines = Scan(text_);
  const std::string eol = !lines.empty() && lines.front().end + 2 == lines.front().next &&
                                  text_[lines.front().end] == '\r'
                              ? "\r\n"
                              : "\n";
  const Line* found = nullptr;
  const Line* insertAfter = nullptr;  // last key line, or the header, of the section's last occurrence
  bool inSection = section.empty();
  for (const Line& line : lines) {
    if (line.kind == Line::Kind::kSection) {
      inSection = line.name == section;
      if (inSection) insertAfter = &line;
    } else if (line.kind == Line::Kind::kKey && inSection) {
      insertAfter = &line;
      if (line.name == key) found = &line;
    }
  }

  if (found != nullptr) {
    const std::string_view current(text_.data() + found->valueBegin, found->valueEnd - found->valueBegin);
    if (UnescapeValue(current) == value) return;
    text_.replace(found->valueBegin, found->valueEnd - found->valueBegin, EscapeValue(value));
    return;
  }

  const std::string entry = EncodeName(key) + "=" + EscapeValue(value) + eol;
  if (insertAfter != nullptr) {
    std::size_t position = insertAfter->next;
    if (position == text_.size() && insertAfter->end == position) {
      // The last line of the file has no line end yet.
      text_ += eol;
      position = text_.size();
    }
    text_.insert(position, entry);
    return;
  }
  if (!text_.empty()) {
    if (text_.back() != '\n') text_ += eol;
    // A blank line before the new section, unless the file ends with one.
    const std::size_t previousFeed = text_.size() >= 2 ? text_.rfind('\n', text_.size() - 2) : std::string::npos;
    const std::size_t lastBegin = previousFeed == std::string::npos ? 0 : previousFeed + 1;
    if (!Trim(std::string_view(text_).substr(lastBegin, text_.size() - 1 - lastBegin)).empty()) text_ += eol;
  }
  text_ += '[';
  text_ += EncodeName(section);
  text_ += ']';
  text_ += eol;
  text_ += entry;
}

std::string IniText::EscapeValue(std::string_view value) {
  if (value.empty()) return {};
  bool quote = IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"';
  std::string out;
  if (value.front() == '@') out += '@';
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case ',':
      case ';':
      case '=':
        quote = true;
        out += c;
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += '\\';
          out += static_cast<char>('0' + (byte >> 6));
          out += static_cast<char>('0' + ((byte >> 3) & 7));
          out += static_cast<char>('0' + (byte & 7));
        } else {
          out += c;
        }
        break;
    }
  }
  return quote ? "\"" + out + "\"" : out;
}

}  // namespace quarbe
