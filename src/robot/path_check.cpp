// `BaseRobot::checkPath`: asks the controller whether a linear, circular or multi-point path
// can be run from a joint position, and returns the joint values it computed.

#include <velmora/base_robot.h>

#include <limits>
#include <string>
#include <vector>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "common/value_checks.h"
#include "motion_control/motion_encoding.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::logUid;
using internal::makeErrorCode;

namespace {

// 260 for a pose given only as a matrix (the request carries translation and angles), 259 for
// a value that is not finite (it would reach the controller as null) or an array longer than
// the arm has axes; the check's line then.
bool refusePoses(BaseRobot::Impl& impl, const std::vector<double>& startJoint,
                 const std::vector<const CartesianPosition*>& poses, std::error_code& ec, double angle = 0.0) {
  int code = 0;
  for (const CartesianPosition* pose : poses) {
    if (internal::isMatrixOnly(*pose)) code = 260;
  }
  if (code == 0) {
    bool fine = internal::allFinite(startJoint, angle) && internal::fitsArm(startJoint, impl.armJoints);
    for (const CartesianPosition* pose : poses) {
      fine = fine && internal::allFinite(*pose) && internal::fitsArm(*pose, impl.armJoints);
    }
    if (!fine) code = internal::kArgumentInvalidCode;
  }
  if (code == 0) return false;
  internal::refuse(impl, ec, code, "uid: {} | checkPath argument invalid ({})", logUid, ec);
  return true;
}

// "point0": the start pose with the start joint values as "near".
Json::Value startPoint(const CartesianPosition& start, const std::vector<double>& startJoint) {
  Json::Value point = internal::cartesianToJson(start, false);
  Json::Value& near = point["near"] = Json::Value(Json::arrayValue);
  for (const double value : startJoint) near.append(value);
  return point;
}

// Sends the check and reads its verdict: `ec` is the code (an integer reply or the "error"
// member; -260 for an "error" that is not an integer), `message` the reply's text.
void sendCheck(BaseRobot::Impl& impl, const Json::Value& request, Json::Value& reply, std::string& message,
               std::error_code& ec) {
  internal::command(*impl.service, "move.path.check", request, reply, ec);
  internal::JsonReadStatus status;
  internal::parseErrorReply(reply, ec, message, status);
  if (!status.ok()) ec = makeErrorCode(internal::kReplyExceptionCode);
}

// The joint values of a successful check; -260 when "data" is not an array of numbers.
void readJoints(const Json::Value& reply, std::vector<double>& out, std::error_code& ec) {
  if (ec) return;
  if (internal::jsonToVector(internal::member(reply, "data"), out) != 0) {
    ec = makeErrorCode(internal::kReplyExceptionCode);
  }
}

void logCheck(const BaseRobot::Impl& impl, const std::error_code& ec, const std::string& message) noexcept {
  internal::logRobotOnly(impl, spdlog::level::info, "checkPath ({}{})", ec, message);
}

std::vector<double> checkTwoPointPath(BaseRobot::Impl& impl, const Json::Value& request, std::error_code& ec) {
  std::vector<double> joints;
  Json::Value reply;
  std::string message;
  sendCheck(impl, request, reply, message, ec);
  readJoints(reply, joints, ec);
  logCheck(impl, ec, message);
  return joints;
}

}  // namespace

std::vector<double> BaseRobot::checkPath(const CartesianPosition& start, const std::vector<double>& start_joint,
                                         const CartesianPosition& target, std::error_code& ec) noexcept {
  std::vector<double> joints;
  internal::runOperation(ec, [&] {
    if (refusePoses(*impl_, start_joint, {&start, &target}, ec)) return;
    Json::Value request;
    request["point0"] = startPoint(start, start_joint);
    request["point1"] = internal::cartesianToJson(target, false);
    joints = checkTwoPointPath(*impl_, request, ec);
  });
  if (ec) joints.assign(start_joint.size(), 0.0);
  return joints;
}

std::vector<double> BaseRobot::checkPath(const CartesianPosition& start, const std::vector<double>& start_joint,
                                         const CartesianPosition& aux, const CartesianPosition& target,
                                         std::error_code& ec, double angle, MoveCFCommand::RotType rot_type) noexcept {
  std::vector<double> joints;
  internal::runOperation(ec, [&] {
    if (refusePoses(*impl_, start_joint, {&start, &aux, &target}, ec, angle)) return;
    Json::Value request;
    request["point0"] = startPoint(start, start_joint);
    request["point1"] = internal::cartesianToJson(aux, false);
    request["point2"] = internal::cartesianToJson(target, false);
    if (angle != 0.0) {
      request["circle"]["angle"] = angle;
      request["circle"]["rot_type"] = internal::rotTypeName(rot_type);
    }
    joints = checkTwoPointPath(*impl_, request, ec);
  });
  if (ec) joints.assign(start_joint.size(), 0.0);
  return joints;
}

int BaseRobot::checkPath(const std::vector<double>& start_joint, const std::vector<CartesianPosition>& points,
                         std::vector<double>& target_joint, std::error_code& ec) noexcept {
  int failedPoint = 0;
  bool sent = false;
  internal::runOperation(ec, [&] {
    if (points.size() < 2) {
      ec = makeErrorCode(internal::kArgumentInvalidCode);
      return;
    }
    std::vector<const CartesianPosition*> poses;
    poses.reserve(points.size());
    for (const auto& point : points) poses.push_back(&point);
    if (refusePoses(*impl_, start_joint, poses, ec)) return;
    Json::Value request;
    request["point0"] = startPoint(points[0], start_joint);
    Json::Value& path = request["path"] = Json::Value(Json::arrayValue);
    for (std::size_t i = 1; i < points.size(); ++i) {
      Json::Value step;
      step["point1"] = internal::cartesianToJson(points[i], false);
      path.append(std::move(step));
    }
    target_joint.clear();
    sent = true;
    Json::Value reply;
    std::string message;
    sendCheck(*impl_, request, reply, message, ec);
    if (!ec) {
      readJoints(reply, target_joint, ec);
    } else {
      // The controller names the point it could not reach; counted from 1 for the caller.
      const Json::Value& index = internal::member(internal::member(reply, "data"), "index");
      if (internal::isIntegerReply(index) && index.asInt() < std::numeric_limits<int>::max()) {
        failedPoint = index.asInt() + 1;
      }
    }
    logCheck(*impl_, ec, message);
  });
  if (!sent) return 0;
  if (ec) target_joint.assign(start_joint.size(), 0.0);
  return ec ? failedPoint : 0;
}

}  // namespace velmora
