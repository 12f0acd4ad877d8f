#pragma once
// Kind-checked reads of controller JSON. jsoncpp throws `Json::LogicError` from a member lookup
// on a non-object, from asInt on text, from asUInt on any negative number and so on; one
// unexpected reply would then escape a noexcept operation and terminate the program. Every read
// of a controller value goes through these functions instead: they never throw (apart from
// memory exhaustion while copying a text) and say which field held a kind they do not accept.
//
// What each reader accepts follows the JSON library's conversions, minus what cannot be read
// faithfully:
//   integer readers  null (0), flags (0/1), numbers with an integral value in range
//   readDouble       null (0.0), flags (0.0/1.0), any number
//   readBool         null (false), flags, numbers (non-zero is true)
//   readString       null (""), text, flags ("true"/"false"), numbers as their decimal text
//                    (12.0 reads "12", 2^64-1 all its digits): an id or a name the controller
//                    sent as a number still names something
// Anything else is refused: the output is left untouched and, in the reporting forms, the first
// refusal is recorded with the field's name.

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace Json {
class CharReader;
}

namespace velmora::internal {

/// A reader of the controller's messages (comments allowed, never kept).
std::unique_ptr<Json::CharReader> makeMessageReader();

/// The calling thread's reader, made at its first use. A parse ends before anything it read is
/// handed on, so a handler that parses again on the same thread does not disturb it.
Json::CharReader& messageReader();

/// Outcome of a series of kind-checked reads: ok until the first refusal, which it keeps (field
/// name, the kind expected, what was found); later refusals do not overwrite it.
class JsonReadStatus {
 public:
  bool ok() const noexcept { return expected_ == nullptr; }
  /// Name of the first refused field; "" when the value handed to the reader itself was refused.
  const std::string& field() const noexcept { return field_; }
  /// "integer", "number", "flag", "text", "object" or "array"; "" while ok.
  const char* expected() const noexcept { return expected_ ? expected_ : ""; }
  /// The kind found ("text", "array", ...), "non-integral number" or "out-of-range number".
  const char* found() const noexcept { return found_ ? found_ : ""; }
  /// A log text such as "joint_num: text where an integer is expected"; "" while ok.
  std::string describe() const;

  /// Records a refusal unless one is recorded already.
  void refuse(std::string_view field, const char* expected, const char* found);
  /// Takes over the first refusal of a nested read, naming it "<parent>.<field>".
  void merge(const JsonReadStatus& nested, std::string_view parent);
  void clear() noexcept;

 private:
  std::string field_;
  const char* expected_ = nullptr;
  const char* found_ = nullptr;
};

/// The member `key` of an object; a null value when `value` is not an object or lacks the key.
const Json::Value& member(const Json::Value& value, std::string_view key) noexcept;
/// Whether `value` is an object holding `key` (jsoncpp's isMember throws on other kinds).
bool hasMember(const Json::Value& value, std::string_view key) noexcept;
/// Element `index` of an array; a null value when `value` is not an array or is too short.
const Json::Value& element(const Json::Value& value, Json::ArrayIndex index) noexcept;
/// "null", "integer", "real", "text", "flag", "array" or "object".
const char* kindName(const Json::Value& value) noexcept;

// Plain forms: true when read; `out` is left untouched when refused.
bool readInt(const Json::Value& value, int& out) noexcept;
bool readUInt(const Json::Value& value, unsigned& out) noexcept;
bool readUInt64(const Json::Value& value, std::uint64_t& out) noexcept;
bool readDouble(const Json::Value& value, double& out) noexcept;
bool readBool(const Json::Value& value, bool& out) noexcept;
bool readString(const Json::Value& value, std::string& out);

// Reporting forms: the same, and a refusal is recorded in `status` under `field`.
bool readInt(const Json::Value& value, int& out, JsonReadStatus& status, std::string_view field);
bool readUInt(const Json::Value& value, unsigned& out, JsonReadStatus& status, std::string_view field);
bool readUInt64(const Json::Value& value, std::uint64_t& out, JsonReadStatus& status, std::string_view field);
bool readDouble(const Json::Value& value, double& out, JsonReadStatus& status, std::string_view field);
bool readBool(const Json::Value& value, bool& out, JsonReadStatus& status, std::string_view field);
bool readString(const Json::Value& value, std::string& out, JsonReadStatus& status, std::string_view field);

}  // namespace velmora::internal
