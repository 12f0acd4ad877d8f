#pragma once
// Controller requests that several robot operations share: tool and work-object tables,
// registers, system requests, the tool-end board type, external axes, mechanical units and
// the rail. Each one takes the robot's command link and reports through `ec` in the library's
// category (256, 257, 263 from the link; the controller's own codes as each function says).
//
// The robot operations calling these are noexcept, so every reply is read with its kind
// checked: a reply of a shape the reader cannot use becomes a code (-260 "protocol mismatch"
// where no other is named), never an exception. They block the calling thread for one or two
// requests of up to the link's request wait (10 s) each; any thread but the link's own.

#include <json/value.h>
#include <velmora/enums.h>
#include <velmora/types.h>

#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace velmora::internal {

class XService;

// ---- Tools and work objects (robot_requests_tools.cpp) ----
// `kind` is "tool" or "wobj".

/// g "project.<kind>.info": the project's entries of the kind in ascending name order, values
/// as the controller gives them. A reply that is a bare code gives that code and no entry; a
/// reply that is no object, or lacks the kind's member, gives no entry and no error; an entry
/// or member of a kind that cannot be read gives -260 and no entry.
std::vector<WorkToolInfo> workToolsInfo(XService& link, const std::string& kind,
                                        std::error_code& ec) noexcept;

/// Writes one tool or work object. A global name (see `parseWorkToolName`) goes whole as
/// c "global.<kind>s.set.one"; any other is looked up in g "project.<kind>s" and sent as
/// c "project.<kind>" {"<kind>s": [record], "operator": "add" | "edit"} (with "old_name" when
/// edited). 259 and nothing sent for a non-finite translation, angle or load value; a failed
/// list read (the link's code, or a non-zero code in place of the list) stops before the
/// write. The write's integer reply is the code, -1 becoming -50501; any other reply is
/// success.
void setWorkToolInfo(XService& link, const WorkToolInfo& info, const std::string& kind,
                     std::error_code& ec) noexcept;

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

/// The controller's record of a tool or work object: translations and the centre of gravity
/// in millimetres, angles in degrees with the quaternion beside them, inertia × 1e6.
Json::Value workToolRecord(const WorkToolInfo& info, const std::string& kind,
                           const WorkToolName& scope);

/// The reader of `workToolsInfo`: true with `list` replaced by the entries (none for a reply
/// without them), or false with `ec` set and `list` untouched.
bool readWorkToolList(const Json::Value& reply, const std::string& kind,
                      std::vector<WorkToolInfo>& list, std::error_code& ec);

// ---- Registers and system (robot_requests_system.cpp) ----

/// g "register.values" {key: null}. `values` becomes the reply's member `key` when the reply
/// is an object holding it not null; otherwise `values` is null and `ec` is the reply's
/// integer (-1 becoming -17001; 0 stays 0) or -260 for any other reply.
void queryRegisterValues(XService& link, Json::Value& values, const std::string& key,
                         std::error_code& ec) noexcept;

/// The reader of `queryRegisterValues`: true with `values` set, or false with `values` null
/// and `ec` set (left 0 for a reply of 0).
bool readRegisterReply(const Json::Value& reply, const std::string& key, Json::Value& values,
                       std::error_code& ec);

/// c "utils.reboot": {"option": "shutdown"} when `option` is 1, null (reboot) otherwise. The
/// reply's integer is the code (null reads 0; another kind gives -260).
void rebootOrShutdown(XService& link, int option, std::error_code& ec) noexcept;

/// c "sys.mode.switch": "auto" for `OperateMode::automatic`, "manual" for any other value.
/// Returns the link's code when the request failed, else the reply's integer (null reads 0;
/// another kind gives -260, also set in `ec`).
int setOperateMode(XService& link, OperateMode mode, std::error_code& ec) noexcept;

/// g "flangebox_support_rs485_param": the tool-end board type, logged at debug level to the
/// global log. `known` is set when the controller answered with an integer; otherwise 0 is
/// returned and `known` stays false, so the next board operation asks again.
int queryFlangeBoxType(XService& link, bool& known) noexcept;

// ---- External axes, mechanical units, rail (robot_requests_axes.cpp) ----

/// Clears `ec`; 259 unless `axis` is "axis1" to "axis6" and `param` one of the 18 external-axis
/// parameter names. Names compare exactly.
void checkExtAxisParam(const std::string& axis, const std::string& param, std::error_code& ec) noexcept;
/// Clears `ec`; 259 unless `unit` is "u1" to "u6" and `param` one of the 7 mechanical-unit
/// parameter names.
void checkMechUnitParam(const std::string& unit, const std::string& param, std::error_code& ec) noexcept;

/// The controller's key of a rail parameter and the factor from the caller's value to the
/// controller's (readers divide by it, writers multiply). Clears `ec`; 259, "" and 0.0 for a
/// name outside the table. "softLimit" and "range" are looked up with "0" and "1" appended.
std::pair<std::string, double> railParamKey(const std::string& name, std::error_code& ec);

/// c "ext_axis.get_axis_info" null: `reply` receives the reply's value, whatever its kind;
/// `ec` is the link's.
void queryExtAxisInfo(XService& link, Json::Value& reply, std::error_code& ec) noexcept;
/// c "ext_axis.get_mechanical_unit_info" null, as `queryExtAxisInfo`.
void queryMechUnit(XService& link, Json::Value& reply, std::error_code& ec) noexcept;

/// g "rail_param" with `value` as the request's value; `value` receives the reply's. A reply
/// that is an integral number within int is the controller's code and becomes `ec`.
void queryRailParameter(XService& link, Json::Value& value, std::error_code& ec) noexcept;
/// s "rail_param" with `value`; `ec` is the controller's integer answer (0 success).
void writeRailParameter(XService& link, const Json::Value& value, std::error_code& ec) noexcept;

}  // namespace velmora::internal
