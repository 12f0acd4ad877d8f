#include "common/json_read.h"

#include <json/reader.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>

namespace velmora::internal {
namespace {

constexpr const char* kNonIntegral = "non-integral number";
constexpr const char* kOutOfRange = "out-of-range number";

// nullptr when the value reads as a T, else what was found. Reals count when their value is
// integral (7.0 reads as 7); jsoncpp would truncate 7.5 silently and throw on 3e9.
template <typename T>
const char* integerRefusal(const Json::Value& value, T& out) noexcept {
  using Limits = std::numeric_limits<T>;
  switch (value.type()) {
    case Json::nullValue:
      out = 0;
      return nullptr;
    case Json::booleanValue:
      out = value.asBool() ? 1 : 0;
      return nullptr;
    case Json::intValue: {
      const Json::LargestInt i = value.asLargestInt();
      if (i < 0) {
        if constexpr (std::is_signed_v<T>) {
          if (i >= static_cast<Json::LargestInt>(Limits::min())) {
            out = static_cast<T>(i);
            return nullptr;
          }
        }
        return kOutOfRange;
      }
      if (static_cast<std::uint64_t>(i) > static_cast<std::uint64_t>(Limits::max())) return kOutOfRange;
      out = static_cast<T>(i);
      return nullptr;
    }
    case Json::uintValue: {
      const Json::LargestUInt u = value.asLargestUInt();
      if (u > static_cast<std::uint64_t>(Limits::max())) return kOutOfRange;
      out = static_cast<T>(u);
      return nullptr;
    }
    case Json::realValue: {
      const double d = value.asDouble();
      if (!(std::trunc(d) == d)) return kNonIntegral;  // NaN included
      // max + 1 is a power of two, so the bound is exact for 32- and 64-bit targets alike.
      const double upper = static_cast<double>(Limits::max()) + 1.0;
      if (d < static_cast<double>(Limits::min()) || d >= upper) return kOutOfRange;
      out = static_cast<T>(d);
      return nullptr;
    }
    default:
      return kindName(value);
  }
}

const char* doubleRefusal(const Json::Value& value, double& out) noexcept {
  switch (value.type()) {
    case Json::nullValue:
      out = 0.0;
      return nullptr;
    case Json::booleanValue:
      out = value.asBool() ? 1.0 : 0.0;
      return nullptr;
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      out = value.asDouble();
      return nullptr;
    default:
      return kindName(value);
  }
}

const char* boolRefusal(const Json::Value& value, bool& out) noexcept {
  switch (value.type()) {
    case Json::nullValue:
      out = false;
      return nullptr;
    case Json::booleanValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      out = value.asBool();
      return nullptr;
    default:
      return kindName(value);
  }
}

// The decimal text of a real, without an exponent: its shortest form that reads back as the
// same double, so 12.0 is "12", 0.1 is "0.1" and an integral value has all its digits (jsoncpp
// would write "12.0", "0.10000000000000001" and "1.8446744073709552e+19").
std::string realText(double d) {
  if (d == 0.0) return "0";  // -0.0 too
  // Fixed notation of the smallest subnormal needs 2 + 323 zeros + 1 digit; the largest
  // double 309 digits.
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
  if (error != std::errc()) return {};
  return std::string(buffer, end);
}

// Text as it is; a number as its decimal text, a flag as "true" or "false", null as "": only a
// structure has no text of its own.
const char* stringRefusal(const Json::Value& value, std::string& out) {
  switch (value.type()) {
    case Json::nullValue:
      out.clear();
      return nullptr;
    case Json::stringValue:
      out = value.asString();
      return nullptr;
    case Json::intValue:
      out = std::to_string(value.asLargestInt());
      return nullptr;
    case Json::uintValue:
      out = std::to_string(value.asLargestUInt());
      return nullptr;
    case Json::realValue:
      out = realText(value.asDouble());
      return nullptr;
    case Json::booleanValue:
      out = value.asBool() ? "true" : "false";
      return nullptr;
    default:
      return kindName(value);
  }
}

// Shared by the plain and the reporting forms: read into a local, copy out only on success.
template <typename T, typename Check>
bool readWith(const Json::Value& value, T& out, Check check, JsonReadStatus* status, std::string_view field,
              const char* expected) {
  T read{};
  if (const char* found = check(value, read)) {
    if (status != nullptr) status->refuse(field, expected, found);
    return false;
  }
  out = std::move(read);
  return true;
}

}  // namespace

std::string JsonReadStatus::describe() const {
  if (ok()) return {};
  std::string text = field_.empty() ? std::string("value") : field_;
  text += ": expected ";
  text += expected_;
  text += ", found ";
  text += found();
  return text;
}

void JsonReadStatus::refuse(std::string_view field, const char* expected, const char* found) {
  if (!ok()) return;
  field_.assign(field.data(), field.size());
  expected_ = expected != nullptr ? expected : "value";
  found_ = found;
}

void JsonReadStatus::merge(const JsonReadStatus& nested, std::string_view parent) {
  if (!ok() || nested.ok()) return;
  std::string name(parent);
  if (!name.empty() && !nested.field_.empty()) name += '.';
  name += nested.field_;
  refuse(name, nested.expected_, nested.found_);
}

void JsonReadStatus::clear() noexcept {
  field_.clear();
  expected_ = nullptr;
  found_ = nullptr;
}

const Json::Value& member(const Json::Value& value, std::string_view key) noexcept {
  if (!value.isObject()) return Json::Value::nullSingleton();
  const Json::Value* found = value.find(key.data(), key.data() + key.size());
  return found != nullptr ? *found : Json::Value::nullSingleton();
}

bool hasMember(const Json::Value& value, std::string_view key) noexcept {
  return value.isObject() && value.find(key.data(), key.data() + key.size()) != nullptr;
}

const Json::Value& element(const Json::Value& value, Json::ArrayIndex index) noexcept {
  if (!value.isArray() || index >= value.size()) return Json::Value::nullSingleton();
  return value[index];
}

const char* kindName(const Json::Value& value) noexcept {
  switch (value.type()) {
    case Json::nullValue:
      return "null";
    case Json::intValue:
    case Json::uintValue:
      return "integer";
    case Json::realValue:
      return "real";
    case Json::stringValue:
      return "text";
    case Json::booleanValue:
      return "flag";
    case Json::arrayValue:
      return "array";
    case Json::objectValue:
      return "object";
  }
  return "unknown";
}

bool readInt(const Json::Value& value, int& out) noexcept {
  return readWith(value, out, integerRefusal<int>, nullptr, {}, nullptr);
}
bool readUInt(const Json::Value& value, unsigned& out) noexcept {
  return readWith(value, out, integerRefusal<unsigned>, nullptr, {}, nullptr);
}
bool readUInt64(const Json::Value& value, std::uint64_t& out) noexcept {
  return readWith(value, out, integerRefusal<std::uint64_t>, nullptr, {}, nullptr);
}
bool readDouble(const Json::Value& value, double& out) noexcept {
  return readWith(value, out, doubleRefusal, nullptr, {}, nullptr);
}
bool readBool(const Json::Value& value, bool& out) noexcept {
  return readWith(value, out, boolRefusal, nullptr, {}, nullptr);
}
bool readString(const Json::Value& value, std::string& out) {
  return readWith(value, out, stringRefusal, nullptr, {}, nullptr);
}

bool readInt(const Json::Value& value, int& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, integerRefusal<int>, &status, field, "integer");
}
bool readUInt(const Json::Value& value, unsigned& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, integerRefusal<unsigned>, &status, field, "integer");
}
bool readUInt64(const Json::Value& value, std::uint64_t& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, integerRefusal<std::uint64_t>, &status, field, "integer");
}
bool readDouble(const Json::Value& value, double& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, doubleRefusal, &status, field, "number");
}
bool readBool(const Json::Value& value, bool& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, boolRefusal, &status, field, "flag");
}
bool readString(const Json::Value& value, std::string& out, JsonReadStatus& status, std::string_view field) {
  return readWith(value, out, stringRefusal, &status, field, "text");
}

std::unique_ptr<Json::CharReader> makeMessageReader() {
  // Its settings are built once: building them costs several times what a reader does.
  static const Json::CharReaderBuilder builder = [] {
    Json::CharReaderBuilder settings;
    // Comments are allowed on the wire but never kept: nothing reads them.
    settings["collectComments"] = false;
    return settings;
  }();
  return std::unique_ptr<Json::CharReader>(builder.newCharReader());
}

Json::CharReader& messageReader() {
  thread_local const std::unique_ptr<Json::CharReader> reader = makeMessageReader();
  return *reader;
}

}  // namespace velmora::internal
