#pragma once
// The pieces of the tool and work-object tables that stand apart from the link: the scope a
// name gives an entry, and the reader of the controller's untrusted list.

#include <json/value.h>
#include <velmora/types.h>

#include <string>
#include <system_error>
#include <vector>

namespace velmora::internal {

/// Number and scope of a tool or work-object name.
struct WorkToolName {
  int id = 0;           ///< the record's "id"
  bool global = false;  ///< written to the global table
};

/// "g_" + kind + "_" followed by decimal digits alone, valued 0 to 15, names global entry of
/// that number. For other names with that prefix the id is the integer the rest begins with
/// (leading white space and a sign allowed; "g_tool_3a" is 3, "g_tool_16" is 16), 0 when it
/// begins with none or it does not fit an int; names without the prefix have id 0.
WorkToolName parseWorkToolName(const std::string& name, const std::string& kind);

/// The reply of g "project.<kind>.info": true with `list` replaced by the entries in ascending
/// name order (none for a reply without the kind's member), or false with `ec` set and `list`
/// untouched. A bare code is the controller's refusal; an entry or member of a kind that
/// cannot be read gives -260.
bool readWorkToolList(const Json::Value& reply, const std::string& kind, std::vector<WorkToolInfo>& list,
                      std::error_code& ec);

}  // namespace velmora::internal
