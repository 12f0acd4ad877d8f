#pragma once
// The shapes the kinematics requests must have, shared by the identity model and the arm
// models' answers (model_identity.h, model_requests.h).

#include <json/value.h>

namespace velmora_sim::model_shapes {

/// Configuration data travels padded to this many entries.
inline constexpr Json::ArrayIndex kConfLength = 8;

/// An array of exactly `count` numbers.
bool numbers(const Json::Value& value, Json::ArrayIndex count);
/// {"trans": [3], "rot": [3], ...}.
bool frame(const Json::Value& value);
/// {"end": frame, "ref": frame, "load": {"mass", "cog": [3], "inertia": [3]}} and nothing else.
bool toolset(const Json::Value& value);
/// A pose request: a frame with `elbowMember`, and besides only "conf" (8 numbers), "external"
/// and, when `toolAllowed`, a "tool_set".
bool poseMembers(const Json::Value& pose, const char* elbowMember, bool toolAllowed);

}  // namespace velmora_sim::model_shapes
