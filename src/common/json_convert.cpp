#include "common/json_convert.h"

#include <velmora/error.h>

#include <climits>
#include <cmath>
#include <utility>

namespace velmora::internal {
namespace {

constexpr std::size_t kConfLength = 8;

Json::Value realArray(const double* values, std::size_t count) {
  Json::Value array(Json::arrayValue);
  array.resize(static_cast<Json::ArrayIndex>(count));
  for (std::size_t i = 0; i < count; ++i) array[static_cast<Json::ArrayIndex>(i)] = values[i];
  return array;
}

// Readers of objects refuse any other kind except null, which reads as "all members missing".
bool objectOrNull(const Json::Value& value, JsonReadStatus& status) {
  if (value.isObject()) return true;
  if (!value.isNull()) status.refuse({}, "object", kindName(value));
  return false;
}

// Checks the first `count` elements before anything is written, so a refusal leaves the
// caller's output as it was.
bool allNumbers(const Json::Value& array, Json::ArrayIndex count, JsonReadStatus& status, std::string_view field) {
  for (Json::ArrayIndex i = 0; i < count; ++i) {
    double ignored = 0.0;
    if (!readDouble(array[i], ignored, status, field)) return false;
  }
  return true;
}

void readFrameInto(const Json::Value& object, Frame& frame, JsonReadStatus& status) {
  double six[6] = {};
  if (jsonToArray(member(object, "trans"), six, 3, status, "trans") == 0) {
    jsonToArray(member(object, "rot"), six + 3, 3, status, "rot");
  }
  frame.trans = {six[0], six[1], six[2]};
  frame.rpy = {six[3], six[4], six[5]};
}

// Integers in range are taken as they are; other numbers are truncated toward zero. An element
// that does not fit an int (a cast would be undefined) or is not a number refuses the whole
// list, so no half-read configuration reaches a motion target.
void readConf(const Json::Value& conf, std::vector<int>& out, JsonReadStatus& status) {
  std::vector<int> values(conf.size(), 0);
  for (Json::ArrayIndex i = 0; i < conf.size(); ++i) {
    const Json::Value& item = conf[i];
    if (item.isInt()) {
      values[i] = item.asInt();
      continue;
    }
    double d = 0.0;
    if (!readDouble(item, d, status, "conf")) return;
    const double t = std::trunc(d);
    if (!(t >= static_cast<double>(INT_MIN) && t <= static_cast<double>(INT_MAX))) {
      status.refuse("conf", "integer", "out-of-range number");
      return;
    }
    values[i] = static_cast<int>(t);
  }
  out = std::move(values);
}

}  // namespace

int jsonToArray(const Json::Value& value, double* out, unsigned n, JsonReadStatus& status, std::string_view field) {
  if (!value.isArray() || value.size() < n) return 1;
  if (!allNumbers(value, n, status, field)) return 1;
  for (Json::ArrayIndex i = 0; i < n; ++i) readDouble(value[i], out[i]);
  return 0;
}

int jsonToArray(const Json::Value& value, double* out, unsigned n) {
  JsonReadStatus ignored;
  return jsonToArray(value, out, n, ignored, {});
}

int jsonToVector(const Json::Value& value, std::vector<double>& out, JsonReadStatus& status, std::string_view field) {
  if (!value.isArray()) return 1;
  if (!allNumbers(value, value.size(), status, field)) return 1;
  out.assign(value.size(), 0.0);
  for (Json::ArrayIndex i = 0; i < value.size(); ++i) readDouble(value[i], out[i]);
  return 0;
}

int jsonToVector(const Json::Value& value, std::vector<double>& out) {
  JsonReadStatus ignored;
  return jsonToVector(value, out, ignored, {});
}

void frameToJson(const Frame& frame, Json::Value& out) {
  // jsoncpp's member assignment throws on any kind but object and null.
  if (!out.isObject() && !out.isNull()) out = Json::Value(Json::objectValue);
  out["trans"] = realArray(frame.trans.data(), frame.trans.size());
  out["rot"] = realArray(frame.rpy.data(), frame.rpy.size());
}

Frame jsonToFrame(const Json::Value& value, JsonReadStatus& status, std::string_view field) {
  JsonReadStatus inner;
  Frame frame;
  if (objectOrNull(value, inner)) readFrameInto(value, frame, inner);
  status.merge(inner, field);
  return frame;
}

Frame jsonToFrame(const Json::Value& value) {
  JsonReadStatus ignored;
  return jsonToFrame(value, ignored);
}

Json::Value cartesianToJson(const CartesianPosition& pose, bool redundantForm) {
  Json::Value out(Json::objectValue);
  frameToJson(pose, out);
  if (redundantForm) {
    out["redundant"] = realArray(&pose.elbow, 1);
  } else {
    out["elb"] = pose.elbow;
  }
  if (!pose.confData.empty()) {
    double conf[kConfLength] = {};
    for (std::size_t i = 0; i < kConfLength && i < pose.confData.size(); ++i) conf[i] = pose.confData[i];
    out["conf"] = realArray(conf, kConfLength);
  }
  if (!pose.external.empty()) out["external"] = realArray(pose.external.data(), pose.external.size());
  return out;
}

Json::Value& cartesianToJson(Json::Value& out, const CartesianPosition& pose, bool redundantForm) {
  out = cartesianToJson(pose, redundantForm);
  return out;
}

CartesianPosition jsonToCartesian(const Json::Value& value, JsonReadStatus& status, std::string_view field) {
  JsonReadStatus inner;
  CartesianPosition pose;
  if (objectOrNull(value, inner)) {
    readFrameInto(value, pose, inner);
    const Json::Value& conf = member(value, "conf");
    if (conf.isArray()) readConf(conf, pose.confData, inner);
    if (hasMember(value, "elb")) readDouble(member(value, "elb"), pose.elbow, inner, "elb");
    if (hasMember(value, "external")) {
      jsonToVector(member(value, "external"), pose.external, inner, "external");
    }
  }
  status.merge(inner, field);
  return pose;
}

CartesianPosition jsonToCartesian(const Json::Value& value) {
  JsonReadStatus ignored;
  return jsonToCartesian(value, ignored);
}

Json::Value loadToJson(const Load& load) {
  Json::Value out(Json::objectValue);
  out["mass"] = load.mass;
  out["cog"] = realArray(load.cog.data(), load.cog.size());
  out["inertia"] = realArray(load.inertia.data(), load.inertia.size());
  return out;
}

Json::Value& loadToJson(Json::Value& out, const Load& load) {
  out = loadToJson(load);
  return out;
}

int jsonToToolset(const Json::Value& value, Toolset& out, JsonReadStatus& status, std::string_view field) {
  if (!hasMember(value, "load") || !hasMember(value, "end") || !hasMember(value, "ref")) return 1;
  JsonReadStatus inner;
  Toolset toolset;
  toolset.end = jsonToFrame(member(value, "end"), inner, "end");
  toolset.ref = jsonToFrame(member(value, "ref"), inner, "ref");
  const Json::Value& load = member(value, "load");
  JsonReadStatus loadStatus;
  if (objectOrNull(load, loadStatus)) {
    double cog[3] = {};
    double inertia[3] = {};
    double mass = 0.0;
    jsonToArray(member(load, "cog"), cog, 3, loadStatus, "cog");
    jsonToArray(member(load, "inertia"), inertia, 3, loadStatus, "inertia");
    readDouble(member(load, "mass"), mass, loadStatus, "mass");
    toolset.load = Load(mass, {cog[0], cog[1], cog[2]}, {inertia[0], inertia[1], inertia[2]});
  }
  inner.merge(loadStatus, "load");
  if (!inner.ok()) {
    status.merge(inner, field);
    return 1;
  }
  out = toolset;
  return 0;
}

int jsonToToolset(const Json::Value& value, Toolset& out) {
  JsonReadStatus ignored;
  return jsonToToolset(value, out, ignored);
}

Info jsonToInfo(const Json::Value& value, JsonReadStatus& status) {
  Info info;
  if (objectOrNull(value, status)) {
    readString(member(value, "id"), info.id, status, "id");
    if (hasMember(value, "version_3.0")) {
      readString(member(value, "version_3.0"), info.version, status, "version_3.0");
    } else {
      readString(member(value, "version"), info.version, status, "version");
    }
    readString(member(value, "mac"), info.mac, status, "mac");
    readString(member(value, "type"), info.type, status, "type");
    readInt(member(value, "joint_num"), info.joint_num, status, "joint_num");
  }
  if (info.id.empty()) info.id = "default";
  return info;
}

Info jsonToInfo(const Json::Value& value) {
  JsonReadStatus ignored;
  return jsonToInfo(value, ignored);
}

void parseErrorReply(const Json::Value& reply, std::error_code& ec, std::string& text, JsonReadStatus& status) {
  if (ec) return;
  if (reply.isInt()) {
    ec = makeErrorCode(reply.asInt());
    return;
  }
  if (!reply.isObject()) return;
  int code = 0;
  if (hasMember(reply, "error") && readInt(member(reply, "error"), code, status, "error")) {
    ec = makeErrorCode(code);
  }
  const Json::Value& data = member(reply, "data");
  if (data.isString()) {
    text = data.asString();
  } else if (const Json::Value& msg = member(data, "msg"); msg.isString()) {
    text = msg.asString();
  }
}

void parseErrorReply(const Json::Value& reply, std::error_code& ec, std::string& text) {
  JsonReadStatus ignored;
  parseErrorReply(reply, ec, text, ignored);
}

}  // namespace velmora::internal
