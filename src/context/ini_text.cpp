#include "context/ini_text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/utf8.h"

namespace quarbe {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct Line {
  enum class Kind { kOther, kSection, kKey };
  std::size_t begin = 0;
  std::size_t end = 0;   // end of the content, before its line end
  std::size_t next = 0;  // start of the next line
  Kind kind = Kind::kOther;
  std::string name;  // decoded section name or key
  std::size_t equals = 0;  // of a key line
};

// Where a key line's value is written, without the blanks around it and a
// comment after it; for an empty value, just after the '='. Found only for
// the line a caller wants: a value may be a megabyte long.
struct ValueSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

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
// of the basic plane; both become UTF-8. A byte that is not part of a UTF-8
// character is a Latin-1 one too: the files of the 8-bit Windows program
// hold "Butée" with the single byte E9.
std::string DecodeName(std::string_view raw) {
  const bool plain = std::find_if(raw.begin(), raw.end(), [](char c) {
                       return c == '%' || static_cast<unsigned char>(c) >= 0x80;
                     }) == raw.end();
  if (plain) return std::string(raw);
  std::string out;
  for (std::size_t i = 0; i < raw.size();) {
    if (const auto byte = static_cast<unsigned char>(raw[i]); byte >= 0x80) {
      const std::size_t length = Utf8CharacterLength(raw, i);
      if (length == 0) {
        AppendUtf8(out, byte);
        ++i;
      } else {
        out.append(raw.substr(i, length));
        i += length;
      }
      continue;
    }
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
    const std::size_t length = Utf8CharacterLength(name, i);
    if (length == 2) {
      code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
    } else if (length == 3) {
      code = ((byte & 0x0Fu) << 12) | ((static_cast<unsigned char>(name[i + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(name[i + 2]) & 0x3Fu);
    } else if (length == 4) {
      // Beyond what %UXXXX can say: kept as UTF-8, which reads back as is.
      out.append(name.substr(i, length));
      i += length;
      continue;
    }
    i += length == 0 ? 1 : length;
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

// Where the first line starts: after a byte order mark, which some editors
// put at the start of a UTF-8 file.
std::size_t ContentBegin(std::string_view text) { return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0; }

ValueSpan FindValue(const std::string& text, const Line& line) {
  std::size_t start = line.equals + 1;
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
  if (stop == start) start = stop = line.equals + 1;
  return {start, stop};
}

// Hands each line of `text` to `visit`, in order. A line ends with "\r\n",
// "\n" or a lone "\r" (older Macintosh editors).
template <typename Visit>
void ForEachLine(const std::string& text, Visit&& visit) {
  std::size_t begin = ContentBegin(text);
  while (begin < text.size()) {
    Line line;
    line.begin = begin;
    // A plain loop: find_first_of looks each byte up in the set with a call
    // of its own, which a megabyte-long line makes slow.
    std::size_t lineEnd = begin;
    while (lineEnd < text.size() && text[lineEnd] != '\n' && text[lineEnd] != '\r') ++lineEnd;
    line.end = lineEnd;
    line.next = std::min(lineEnd + 1, text.size());
    if (text.compare(lineEnd, 2, "\r\n") == 0) ++line.next;

    std::size_t p = begin;
    while (p < line.end && IsBlank(text[p])) ++p;
    if (p < line.end && text[p] == '[') {
      const std::string_view inside(text.data() + p + 1, line.end - p - 1);
      const std::size_t close = inside.rfind(']');
      line.kind = Line::Kind::kSection;
      line.name = DecodeName(Trim(inside.substr(0, close)));
    } else if (p < line.end && text[p] != ';' && text[p] != '#') {
      const std::size_t equals = std::string_view(text.data(), line.end).find('=', p);
      if (equals != std::string_view::npos) {
        line.kind = Line::Kind::kKey;
        line.name = DecodeName(Trim(std::string_view(text.data() + p, equals - p)));
        line.equals = equals;
      }
    }
    begin = line.next;
    visit(std::move(line));
  }
}

std::vector<Line> Scan(const std::string& text) {
  std::vector<Line> lines;
  ForEachLine(text, [&](Line&& line) { lines.push_back(std::move(line)); });
  return lines;
}

}  // namespace

std::optional<std::string> IniText::Value(std::string_view section, std::string_view key) const {
  // The last occurrence counts.
  std::optional<Line> found;
  bool inSection = section.empty();
  ForEachLine(text_, [&](Line&& line) {
    if (line.kind == Line::Kind::kSection) {
      inSection = line.name == section;
    } else if (line.kind == Line::Kind::kKey && inSection && line.name == key) {
      found = std::move(line);
    }
  });
  if (!found) return std::nullopt;
  const ValueSpan span = FindValue(text_, *found);
  return UnescapeValue(std::string_view(text_).substr(span.begin, span.end - span.begin));
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::vector<Line> lines = Scan(text_);
  // New lines end as the file's first line does.
  std::string eol = "\n";
  if (!lines.empty() && lines.front().next > lines.front().end) {
    eol = text_.substr(lines.front().end, lines.front().next - lines.front().end);
  }
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
    const ValueSpan span = FindValue(text_, *found);
    const std::string_view current(text_.data() + span.begin, span.end - span.begin);
    if (UnescapeValue(current) == value) return;
    text_.replace(span.begin, span.end - span.begin, EscapeValue(value));
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
  if (!lines.empty()) {
    const Line& last = lines.back();
    if (last.next == last.end) text_ += eol;  // the last line has no line end yet
    // A blank line before the new section, unless the file ends with one.
    if (!Trim(std::string_view(text_).substr(last.begin, last.end - last.begin)).empty()) text_ += eol;
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
