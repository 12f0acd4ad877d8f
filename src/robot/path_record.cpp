// `BaseCobot`'s path recording on the controller, the saved paths, and their replay through
// the non-real-time motion queue.

#include <velmora/cobot.h>

#include <cmath>

#include "common/json_read.h"
#include "robot/controller_paths.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

void BaseCobot::startRecordPath(int duration, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | startRecordPath {}", logUid, duration);
  internal::runOperation(ec, [&] {
    Json::Value value(Json::objectValue);
    value["type"] = "time";
    value["duration"] = duration;
    value["signals"] = Json::Value(Json::arrayValue);
    internal::commandForCode(*impl().service, "move.record.start", value, ec);
  });
  internal::logEnd(impl(), "uid: {} | startRecordPath end, duration: {}s ({})", logUid, duration, ec);
}

void BaseCobot::stopRecordPath(std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | stopRecordPath", logUid);
  internal::runOperation(ec, [&] { internal::commandForCode(*impl().service, "move.record.stop", Json::Value(), ec); });
  internal::logEnd(impl(), "uid: {} | stopRecordPath end ({})", logUid, ec);
}

void BaseCobot::cancelRecordPath(std::error_code& ec) noexcept {
  internal::runOperation(ec,
                         [&] { internal::commandForCode(*impl().service, "move.record.cancel", Json::Value(), ec); });
}

void BaseCobot::saveRecordPath(const std::string& name, std::error_code& ec, const std::string& saveAs) noexcept {
  internal::logEntry("uid: {} | saveRecordPath {}, {}", logUid, name, saveAs);
  bool sent = false;
  internal::runOperation(ec, [&] {
    // Both names become files on the controller: ".." or a separator would name another place.
    if (!internal::isPlainOrEmptyName(name) || !internal::isPlainOrEmptyName(saveAs)) {
      internal::refuse(impl(), ec, internal::kArgumentInvalidCode, "uid: {} | saveRecordPath name invalid ({})", logUid,
                       ec);
      return;
    }
    Json::Value value(Json::objectValue);
    value["name"] = name;
    if (!saveAs.empty()) value["as"] = saveAs;
    sent = true;
    internal::commandForCode(*impl().service, "move.record.save", value, ec);
  });
  if (sent) {
    internal::logEnd(impl(), "uid: {} | saveRecordPath end, name: {}, saveAs: {} ({})", logUid, name, saveAs, ec);
  }
}

void BaseCobot::replayPath(const std::string& name, double rate, std::error_code& ec) noexcept {
  internal::logEntry("uid: {} | replayPath {}, {}", logUid, name, rate);
  bool queued = false;
  internal::runOperation(ec, [&] {
    auto& robot = impl();
    if (!robot.motionControl) {
      ec = makeErrorCode(internal::kUninitializedCode);
      return;
    }
    const MotionControlMode mode = robot.motionControlMode.load();
    if (mode == MotionControlMode::NrtRLTask || mode == MotionControlMode::RtCommand) {
      internal::refuse(robot, ec, internal::kControlModeErrorCode, "uid: {} | replayPath control mode error {} ({})",
                       logUid, internal::enumName(mode), ec);
      return;
    }
    if (!internal::isPlainOrEmptyName(name)) {
      internal::refuse(robot, ec, internal::kArgumentInvalidCode, "uid: {} | replayPath name invalid ({})", logUid, ec);
      return;
    }
    // NaN would go out as null and the controller would replay at a rate nobody chose.
    if (!std::isfinite(rate)) {
      internal::refuse(robot, ec, internal::kArgumentInvalidCode, "uid: {} | replayPath rate {} invalid ({})", logUid,
                       rate, ec);
      return;
    }
    Json::Value params(Json::objectValue);
    params["name"] = name;
    params["rate"] = rate;
    robot.motionControl->appendReplay(params);
    queued = true;
  });
  if (queued) internal::logEnd(impl(), "uid: {} | replayPath end, name: {}, rate: {} ({})", logUid, name, rate, ec);
}

void BaseCobot::removePath(const std::string& name, std::error_code& ec, bool removeAll) noexcept {
  internal::logEntry("uid: {} | removePath {}, {}", logUid, name, removeAll);
  bool sent = false;
  internal::runOperation(ec, [&] {
    // Removing all sends no name; a single name is a file on the controller, and ".." or a
    // name with separators would remove another one.
    if (!removeAll && !internal::isPlainOrEmptyName(name)) {
      internal::refuse(impl(), ec, internal::kArgumentInvalidCode, "uid: {} | removePath name invalid ({})", logUid,
                       ec);
      return;
    }
    sent = true;
    if (removeAll) {
      internal::commandForCode(*impl().service, "move.record.remove.all", Json::Value(), ec);
    } else {
      internal::commandForCode(*impl().service, "move.record.remove", Json::Value(name), ec);
    }
  });
  if (sent) {
    internal::logEnd(impl(), "uid: {} | removePath end, name: {}, removeAll: {} ({})", logUid, name, removeAll, ec);
  }
}

std::vector<std::string> BaseCobot::queryPathLists(std::error_code& ec) noexcept {
  std::vector<std::string> names;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::get(*impl().service, "move.record.paths", Json::Value(), reply, ec);
    if (ec) return;
    if (!reply.isArray()) {
      ec = makeErrorCode(internal::kUnreadableReplyCode);
      return;
    }
    for (const Json::Value& path : reply) {
      std::string pathName;
      if (!internal::readString(path, pathName)) {
        ec = makeErrorCode(internal::kUnreadableReplyCode);
        return;
      }
      names.push_back(std::move(pathName));
    }
  });
  if (ec) names.clear();
  return names;
}

}  // namespace velmora
