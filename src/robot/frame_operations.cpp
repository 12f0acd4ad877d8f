// `BaseRobot`'s frames: the base frame, the active tool set (by value or by the names of a tool
// and a work object) and the Denavit-Hartenberg parameters of the kinematic model.

#include <velmora/base_robot.h>

#include "common/json_convert.h"
#include "common/value_checks.h"
#include "robot/frame_reads.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

constexpr int kToolWobjFailureCode = -50501;

// A reply that is a bare number is the controller's code. A 0 there carries none of the value
// asked for, so it is no success either.
bool takeCodeReply(const Json::Value& reply, std::error_code& ec) noexcept {
  return internal::takeIntegerReply(reply, ec, internal::kUnreadableReplyCode);
}

// {"trans", "rot", "name"}: the tool set's frames carry the name of what they come from.
Json::Value namedFrame(const Frame& frame, const std::string& name) {
  Json::Value out(Json::objectValue);
  internal::frameToJson(frame, out);
  out["name"] = name;
  return out;
}

}  // namespace

std::array<double, 6> BaseRobot::baseFrame(std::error_code& ec) const noexcept {
  std::array<double, 6> frame{};
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "ix.coord.base_in_world", Json::Value(), reply, ec);
    if (ec || takeCodeReply(reply, ec)) return;
    // Each triple is taken whole or not at all; the translation stays when the rotation fails.
    if (!internal::readNumbers(internal::member(reply, "trans"), frame.data(), 3) ||
        !internal::readNumbers(internal::member(reply, "rot"), frame.data() + 3, 3)) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
    }
  });
  if (ec.value() == internal::kReplyExceptionCode) frame = {};
  return frame;
}

void BaseRobot::setBaseFrame(const Frame& frame, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setBaseFrame {}", logUid, frame);
  internal::runOperation(ec, [&] {
    // jsoncpp would write NaN as null and infinity as 1e+9999 into the controller's frame.
    if (!internal::allFinite(frame)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Json::Value value(Json::objectValue);
    internal::frameToJson(frame, value);
    internal::set(*impl_->service, "ix.coord.base_in_world", value, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setBaseFrame end, Set base frame to {} ({})", logUid, frame, ec);
}

Toolset BaseRobot::toolset(std::error_code& ec) const noexcept {
  Toolset toolset;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl_->service, "ix.coord.toolset", Json::Value(), reply, ec);
    if (ec || takeCodeReply(reply, ec)) return;
    if (internal::jsonToToolset(reply, toolset) != 0) ec = makeErrorCode(internal::kUnreadableReplyCode);
  });
  return ec ? Toolset() : toolset;
}

void BaseRobot::setToolset(const Toolset& toolset, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setToolset {}", logUid, toolset);
  internal::runOperation(ec, [&] {
    if (!internal::allFinite(toolset)) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    Json::Value value(Json::objectValue);
    value["load"] = internal::loadToJson(toolset.load);
    value["end"] = namedFrame(toolset.end, std::string());
    value["ref"] = namedFrame(toolset.ref, std::string());
    internal::set(*impl_->service, "ix.coord.toolset", value, ec);
  });
  internal::logEnd(*impl_, "uid: {} | setToolset end, Set toolset to {} ({})", logUid, toolset, ec);
}

Toolset BaseRobot::setToolset(const std::string& toolName, const std::string& wobjName, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | setToolset {}, {}", logUid, toolName, wobjName);
  Toolset toolset;
  bool queried = false;
  internal::runOperation(ec, [&] {
    Json::Value query(Json::objectValue);
    query["tool"] = toolName;
    query["wobj"] = wobjName;
    Json::Value reply;
    internal::command(*impl_->service, "sys.toolset.query", query, reply, ec);
    if (ec) return;
    if (!internal::hasMember(reply, "data")) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    if (internal::hasMember(reply, "error")) {
      ec = makeErrorCode(kToolWobjFailureCode);
      return;
    }
    // The query's answer goes back to the controller as the active tool set: one with a part
    // missing would set a wrong tool, load or reference, so it is refused before any write.
    Json::Value& data = reply["data"];
    if (!internal::readWholeToolset(data, toolset)) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    queried = true;
    data["end"]["name"] = toolName;
    data["ref"]["name"] = wobjName;
    internal::set(*impl_->service, "ix.coord.toolset", data, ec);
  });
  if (!queried) {
    internal::logBoth(*impl_, spdlog::level::err, "uid: {} | setToolset end, setToolset query failed ({})", logUid, ec);
    return Toolset();
  }
  internal::logEnd(*impl_, "uid: {} | setToolset end, Set toolset to {}, {}, ({})", logUid, toolName, wobjName, ec);
  // The tool set read stays the result when only the write failed, but not after a throw
  // that may have cut the write short.
  return ec.value() == internal::kReplyExceptionCode ? Toolset() : toolset;
}

std::vector<double> BaseRobot::getRobotCfg_DHparam(bool get_nominal, std::error_code& ec) noexcept {
  std::vector<double> parameters;
  internal::runOperation(ec, [&] {
    Json::Value request(Json::objectValue);
    request["type"] = "json";
    if (get_nominal) {
      request["key"] = "KINEMATICS.DH_PARAMS";
      request["func"] = "std";
    } else {
      request["key"] = "KINEMATICS.DH_PARAMS_ALL";
    }
    Json::Value reply;
    internal::command(*impl_->service, "cfg.get", request, reply, ec);
    // A controller without the full set answers null data: ask for the nominal one instead.
    if (!get_nominal && !ec && reply.isObject() && internal::member(reply, "data").isNull()) {
      request["key"] = "KINEMATICS.DH_PARAMS";
      reply = Json::Value();
      internal::command(*impl_->service, "cfg.get", request, reply, ec);
    }
    if (ec || takeCodeReply(reply, ec)) return;
    if (internal::jsonToVector(internal::member(reply, "data"), parameters) != 0) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
    }
  });
  if (ec) parameters.clear();
  return parameters;
}

}  // namespace velmora
