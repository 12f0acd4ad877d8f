#include "network/xservice/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora::internal {

namespace {

constexpr unsigned kReplacement = 0xFFFD;

void appendHex4(std::string& out, unsigned unit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const char escape[6] = {'\\',
                          'u',
                          kDigits[(unit >> 12) & 0xF],
                          kDigits[(unit >> 8) & 0xF],
                          kDigits[(unit >> 4) & 0xF],
                          kDigits[unit & 0xF]};
  out.append(escape, sizeof escape);
}

// Decodes one UTF-8 sequence the way the JSON library's writer does (continuation bytes are
// not checked; a sequence cut short, overlong or naming a surrogate becomes U+FFFD), advancing
// `p` to its last byte.
unsigned codePoint(const unsigned char*& p, const unsigned char* end) {
  const unsigned first = *p;
  const auto left = end - p;
  if (first < 0x80) return first;
  if (first < 0xE0) {
    if (left < 2) return kReplacement;
    const unsigned cp = ((first & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    p += 1;
    return cp < 0x80 ? kReplacement : cp;
  }
  if (first < 0xF0) {
    if (left < 3) return kReplacement;
    const unsigned cp = ((first & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    p += 2;
    if (cp >= 0xD800 && cp <= 0xDFFF) return kReplacement;
    return cp < 0x800 ? kReplacement : cp;
  }
  if (first < 0xF8) {
    if (left < 4) return kReplacement;
    const unsigned cp = ((first & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    p += 3;
    return cp < 0x10000 ? kReplacement : cp;
  }
  return kReplacement;
}

void appendReal(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "null";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-1e+9999" : "1e+9999";
    return;
  }
  char buffer[40];
  const int n = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
    out += "null";  // cannot happen for a finite double; never emit a half number
    return;
  }
  bool marked = false;
  for (int i = 0; i < n; ++i) {
    // A process locale with a decimal comma must not reach the wire.
    if (buffer[i] == ',') buffer[i] = '.';
    if (buffer[i] == '.' || buffer[i] == 'e') marked = true;
  }
  out.append(buffer, static_cast<std::size_t>(n));
  // Keeps a real a real when read back.
  if (!marked) out += ".0";
}

void appendSigned(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace

void appendUnsigned(std::string& out, unsigned long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  const auto* plain = p;  // start of the run copied as it is
  for (; p < end; ++p) {
    const unsigned char c = *p;
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') continue;
    out.append(reinterpret_cast<const char*>(plain), static_cast<std::size_t>(p - plain));
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        unsigned cp = codePoint(p, end);
        if (cp < 0x80) {
          if (cp < 0x20) {
            appendHex4(out, cp);
          } else {
            out.push_back(static_cast<char>(cp));
          }
        } else if (cp < 0x10000) {
          appendHex4(out, cp);
        } else {
          cp -= 0x10000;
          appendHex4(out, 0xD800 + ((cp >> 10) & 0x3FF));
          appendHex4(out, 0xDC00 + (cp & 0x3FF));
        }
      }
    }
    plain = p + 1;
  }
  out.append(reinterpret_cast<const char*>(plain), static_cast<std::size_t>(end - plain));
  out.push_back('"');
}

void appendJson(std::string& out, const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      out += "null";
      return;
    case Json::intValue:
      appendSigned(out, value.asLargestInt());
      return;
    case Json::uintValue:
      appendUnsigned(out, value.asLargestUInt());
      return;
    case Json::realValue:
      appendReal(out, value.asDouble());
      return;
    case Json::booleanValue:
      out += value.asBool() ? "true" : "false";
      return;
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      if (value.getString(&begin, &end)) {
        appendJsonString(out, std::string_view(begin, static_cast<std::size_t>(end - begin)));
      } else {
        out += "\"\"";
      }
      return;
    }
    case Json::arrayValue: {
      out.push_back('[');
      bool first = true;
      for (const Json::Value& element : value) {
        if (!first) out.push_back(',');
        first = false;
        appendJson(out, element);
      }
      out.push_back(']');
      return;
    }
    case Json::objectValue: {
      out.push_back('{');
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out.push_back(',');
        first = false;
        const char* nameEnd = nullptr;
        const char* name = it.memberName(&nameEnd);
        appendJsonString(out, std::string_view(name, static_cast<std::size_t>(nameEnd - name)));
        out.push_back(':');
        appendJson(out, *it);
      }
      out.push_back('}');
      return;
    }
  }
}

}  // namespace velmora::internal
