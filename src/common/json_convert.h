#pragma once
// JSON forms of the value types, as the controller reads and writes them.
//
// Shapes: a frame is {"trans": [x, y, z], "rot": [r, p, y]} (the matrix `pos` is never written
// or read); a pose adds "elb" (or "redundant": [elbow]), "conf" (8 integers as reals) and
// "external"; a load is {"mass", "cog", "inertia"}. Numbers are written as JSON reals.
//
// The readers never throw (apart from memory exhaustion). Shape problems are absorbed as the
// controller protocol expects (a missing or short member reads as zeros, empty texts or empty
// vectors). A value of a kind that cannot be read (text where a number is read, an integer where
// an object is read, ...) is absorbed the same way by the plain forms; the forms taking a
// `JsonReadStatus` also record it with the field's name, so a caller can refuse the reply.
// `field` names the value being read in those reports ("end" gives "end.trans").

#include <velmora/types.h>

#include <json/value.h>

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/json_read.h"

namespace velmora::internal {

/// Copies the first `n` elements of an array as doubles into `out` and returns 0. Returns 1 and
/// writes nothing when `value` is not an array, has fewer than `n` elements, or one of those
/// elements is not a number, flag or null.
int jsonToArray(const Json::Value& value, double* out, unsigned n);
int jsonToArray(const Json::Value& value, double* out, unsigned n, JsonReadStatus& status, std::string_view field);

/// Replaces `out` by the array's elements as doubles and returns 0. Returns 1 and leaves `out`
/// as it was when `value` is not an array or an element is not a number, flag or null.
int jsonToVector(const Json::Value& value, std::vector<double>& out);
int jsonToVector(const Json::Value& value, std::vector<double>& out, JsonReadStatus& status, std::string_view field);

/// Sets "trans" and "rot" of `out`, keeping its other members. An `out` that is neither null nor
/// an object is replaced by an object.
void frameToJson(const Frame& frame, Json::Value& out);

/// "trans", and only when that was read, "rot" (3 numbers each); the rest stays zero.
Frame jsonToFrame(const Json::Value& value);
Frame jsonToFrame(const Json::Value& value, JsonReadStatus& status, std::string_view field = {});

/// A pose object: "trans", "rot", the elbow as "redundant": [elbow] when `redundantForm` is true
/// and as "elb" otherwise, "conf" (cut or padded with zeros to 8) when `confData` is not empty,
/// "external" when not empty.
Json::Value cartesianToJson(const CartesianPosition& pose, bool redundantForm);
/// The same, assigned to `out`; returns `out`.
Json::Value& cartesianToJson(Json::Value& out, const CartesianPosition& pose, bool redundantForm);

/// A pose read as the frame is, plus "conf" (each element truncated toward zero), "elb" and
/// "external". "redundant" is not read. Null gives the all-zero pose.
CartesianPosition jsonToCartesian(const Json::Value& value);
CartesianPosition jsonToCartesian(const Json::Value& value, JsonReadStatus& status, std::string_view field = {});

/// {"mass": m, "cog": [3], "inertia": [3]}.
Json::Value loadToJson(const Load& load);
/// The same, assigned to `out`; returns `out`.
Json::Value& loadToJson(Json::Value& out, const Load& load);

/// Reads {"end": frame, "ref": frame, "load": {"mass", "cog", "inertia"}} into `out` and returns
/// 0. Returns 1 and leaves `out` unchanged when `value` is not an object, lacks one of the three
/// members, or holds a kind that cannot be read.
int jsonToToolset(const Json::Value& value, Toolset& out);
int jsonToToolset(const Json::Value& value, Toolset& out, JsonReadStatus& status, std::string_view field = {});

/// The "sys.info" reply: "id" (empty becomes "default"), "mac", "version_3.0" when present and
/// "version" otherwise, "type", "joint_num". Missing members give "" and 0.
Info jsonToInfo(const Json::Value& value);
Info jsonToInfo(const Json::Value& value, JsonReadStatus& status);

/// Does nothing when `ec` is already set. Otherwise an integer reply, or the integer member
/// "error" of an object reply, becomes `ec` in the library's category, and a text member "data",
/// or the text member "msg" of a "data" object, becomes `text`. Anything else changes nothing.
void parseErrorReply(const Json::Value& reply, std::error_code& ec, std::string& text);
void parseErrorReply(const Json::Value& reply, std::error_code& ec, std::string& text, JsonReadStatus& status);

}  // namespace velmora::internal
