#pragma once
// The command channel's wire rules as the controller sees them: compact JSON objects, each
// ended by one carriage return; requests name their form by one member ("c" command, "g" get,
// "s" set, "w" watch) and carry an "id" that the reply repeats.

#include <json/value.h>

#include <string>
#include <string_view>

namespace velmora_sim {

enum class Form { command, get, set, watch, other };

/// The member that names a form ("c", "g", "s", "w"; "" for other).
const char* formMember(Form form) noexcept;
/// The form a member name denotes, or `Form::other`.
Form formOf(std::string_view member) noexcept;

/// A message as it goes on the wire: compact JSON text and one carriage return.
std::string frame(const Json::Value& message);

/// Parses one JSON text; false when it is not JSON.
bool parseJson(std::string_view text, Json::Value& out);

}  // namespace velmora_sim
