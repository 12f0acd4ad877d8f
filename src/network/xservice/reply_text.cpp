#include "network/xservice/reply_text.h"

#include <cstring>
#include <limits>

namespace velmora::internal {

namespace {

// A strict single pass over JSON text. It builds nothing and refuses what it is not sure of;
// refusing only sends a message the slower way.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // With `out`, the value of `key` in the member named `form`, an object, is built there too;
  // false when the reply has no such value.
  bool reply(std::uint64_t& id, std::string_view form = {}, std::string_view key = {}, Json::Value* out = nullptr) {
    skipSpace();
    if (!take('{')) return false;
    bool haveId = false;
    bool haveForm = false;
    int members = 0;
    skipSpace();
    if (take('}')) return false;  // empty: one member at least is needed anyway
    for (;;) {
      std::string_view name;
      if (!plainName(name)) return false;
      if (name == "n") return false;  // a notification, whatever else it holds
      if (name == "id") {
        if (haveId || !unsignedInteger(id)) return false;
        haveId = true;
      } else if (out != nullptr && name == form) {
        if (haveForm || !formValue(key, *out)) return false;
        haveForm = true;
      } else if (!value(1)) {
        return false;
      }
      ++members;
      skipSpace();
      if (take(',')) {
        skipSpace();
        continue;
      }
      if (!take('}')) return false;
      break;
    }
    skipSpace();
    return p_ == end_ && haveId && members >= 2 && (out == nullptr || haveForm);
  }

  bool plainObject(Json::Value& out) {
    skipSpace();
    if (p_ == end_ || *p_ != '{' || !value(0, &out)) return false;
    skipSpace();
    return p_ == end_;
  }

 private:
  static constexpr int kMaxDepth = 64;
  static constexpr int kMaxBuildDepth = 16;
  static constexpr int kMaxIntegerDigits = 18;    // always within a 64-bit signed integer
  static constexpr long kMaxDecimalPlaces = 308;  // below 1e308: within a double's range

  static bool printable(std::string_view text) {
    for (const char c : text) {
      if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
  }

  bool integer(Json::Value& out) {
    const bool negative = take('-');
    const char* begin = p_;
    if (!digits() || p_ - begin > kMaxIntegerDigits || (*begin == '0' && p_ - begin > 1)) return false;
    if (p_ != end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')) return false;
    Json::LargestInt value = 0;
    for (const char* d = begin; d != p_; ++d) value = value * 10 + (*d - '0');
    out = Json::Value(negative ? -value : value);
    return true;
  }

  bool take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  void skipSpace() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
  }

  static bool hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

  // At '"'. `plain` tells whether the content holds no escape (so `text` is the string itself).
  bool string(std::string_view* text = nullptr, bool* plain = nullptr) {
    if (!take('"')) return false;
    const char* begin = p_;
    bool escaped = false;
    while (p_ != end_) {
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        if (text != nullptr) *text = std::string_view(begin, static_cast<std::size_t>(p_ - begin));
        if (plain != nullptr) *plain = !escaped;
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      ++p_;
      if (c != '\\') continue;
      escaped = true;
      if (p_ == end_) return false;
      const char e = *p_++;
      if (e == 'u') {
        for (int i = 0; i < 4; ++i) {
          if (p_ == end_ || !hex(*p_)) return false;
          ++p_;
        }
        // A surrogate is well formed only in a pair, which the full parse checks: a lone one
        // makes the message unreadable, and it must then be dropped, not handed to a waiter.
        const char first = p_[-4];
        if ((first == 'd' || first == 'D') && std::strchr("89abcdefABCDEF", p_[-3]) != nullptr) return false;
      } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't') {
        return false;
      }
    }
    return false;
  }

  bool digits() {
    const char* begin = p_;
    while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return p_ != begin;
  }

  bool number() {
    take('-');
    const char* integral = p_;
    if (take('0')) {
      if (p_ != end_ && *p_ >= '0' && *p_ <= '9') return false;
    } else if (!digits()) {
      return false;
    }
    // The number is below 10 to the power of its integral digits plus its exponent.
    long places = *integral == '0' ? 0 : static_cast<long>(p_ - integral);
    if (take('.') && !digits()) return false;
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      const bool negative = !take('+') && take('-');
      const char* begin = p_;
      if (!digits() || p_ - begin > 3) return false;
      long exponent = 0;
      for (const char* d = begin; d != p_; ++d) exponent = exponent * 10 + (*d - '0');
      places += negative ? -exponent : exponent;
    }
    // The full parse refuses a number beyond a double's range (about 1.8e308) and drops the
    // whole message; one that may come near it is left to the full parse to judge.
    return places <= kMaxDecimalPlaces;
  }

  bool unsignedInteger(std::uint64_t& out) {
    const char* begin = p_;
    if (!digits()) return false;
    if (p_ != end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')) return false;
    if (*begin == '0' && p_ - begin > 1) return false;
    std::uint64_t value = 0;
    for (const char* d = begin; d != p_; ++d) {
      const auto digit = static_cast<std::uint64_t>(*d - '0');
      if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
      value = value * 10 + digit;
    }
    out = value;
    return true;
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }

  // One value at `p_`. With `out` it is built there too, and what only the full parse builds
  // exactly is refused: reals, escapes, text beyond printable ASCII, a name given twice, nesting
  // beyond `kMaxBuildDepth`.
  bool value(int depth, Json::Value* out = nullptr) {
    if (p_ == end_) return false;
    switch (*p_) {
      case '"': {
        std::string_view text;
        bool plain = false;
        if (!string(&text, &plain)) return false;
        if (out == nullptr) return true;
        if (!plain || !printable(text)) return false;
        *out = Json::Value(text.data(), text.data() + text.size());
        return true;
      }
      case '{':
        return container(depth, '}', true, out);
      case '[':
        return container(depth, ']', false, out);
      case 't':
      case 'f':
      case 'n':
        return word(out);
      default:
        return out == nullptr ? number() : integer(*out);
    }
  }

  // At 't', 'f' or 'n'.
  bool word(Json::Value* out) {
    const char first = *p_;
    if (!literal(first == 't' ? "true" : first == 'f' ? "false" : "null")) return false;
    if (out != nullptr) *out = first == 'n' ? Json::Value() : Json::Value(first == 't');
    return true;
  }

  // The member `name` of `object`, made if new. The message's own member names (the id and
  // the forms) are literals here and are stored without a copy of their own.
  static Json::Value* member(Json::Value& object, std::string_view name) {
    static constexpr const char* kOwnNames[] = {"id", "g", "c", "s", "w", "n"};
    if (name.size() <= 2) {
      for (const char* own : kOwnNames) {
        if (name == own) return &object[Json::StaticString(own)];
      }
    }
    return object.demand(name.data(), name.data() + name.size());
  }

  // A member's name without escapes, and the colon after it.
  bool plainName(std::string_view& name) {
    bool plain = false;
    if (!string(&name, &plain) || !plain) return false;
    skipSpace();
    if (!take(':')) return false;
    skipSpace();
    return true;
  }

  // At a reply's form member value: an object giving `key` once, whose value is built in `out`.
  bool formValue(std::string_view key, Json::Value& out) {
    if (!take('{')) return false;
    bool found = false;
    skipSpace();
    for (;;) {
      std::string_view name;
      if (!plainName(name)) return false;
      if (name == key) {
        if (found || !value(2, &out)) return false;
        found = true;
      } else if (!value(2)) {
        return false;
      }
      skipSpace();
      if (take(',')) {
        skipSpace();
        continue;
      }
      return take('}') && found;
    }
  }

  bool container(int depth, char close, bool object, Json::Value* out) {
    if (depth >= (out == nullptr ? kMaxDepth : kMaxBuildDepth)) return false;
    if (out != nullptr) *out = Json::Value(object ? Json::objectValue : Json::arrayValue);
    ++p_;
    skipSpace();
    if (take(close)) return true;
    for (;;) {
      Json::Value* item = nullptr;
      if (object) {
        std::string_view name;
        bool plain = false;
        if (!string(&name, &plain)) return false;
        if (out != nullptr) {
          if (!plain || !printable(name)) return false;
          const Json::ArrayIndex before = out->size();
          item = member(*out, name);
          if (out->size() == before) return false;  // the name came before
        }
        skipSpace();
        if (!take(':')) return false;
        skipSpace();
      } else if (out != nullptr) {
        item = &out->append(Json::Value());
      }
      if (!value(depth + 1, item)) return false;
      skipSpace();
      if (take(',')) {
        skipSpace();
        continue;
      }
      return take(close);
    }
  }

  const char* p_;
  const char* end_;
};

}  // namespace

bool replyIdOf(std::string_view text, std::uint64_t& id) noexcept {
  std::uint64_t found = 0;
  if (!Scanner(text).reply(found)) return false;
  id = found;
  return true;
}

bool buildPlainObject(std::string_view text, Json::Value& out) { return Scanner(text).plainObject(out); }

bool buildReplyValue(std::string_view text, std::uint64_t id, std::string_view form, std::string_view key,
                     Json::Value& out) {
  std::uint64_t found = 0;
  return Scanner(text).reply(found, form, key, &out) && found == id;
}

}  // namespace velmora::internal
