// Forward and inverse kinematics of `Model_T<N>`: one request each, the answer read with kind
// checks; the joint count only sizes the arrays.

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/model.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/json_convert.h"
#include "common/json_read.h"
#include "common/reply_read.h"
#include "common/result_codes.h"
#include "common/value_checks.h"
#include "model/model_impl.h"
#include "robot/operation_frame.h"

namespace velmora {
namespace internal {
namespace {

/// The controller's own code for an inverse it could not solve ("IK error").
constexpr int kInverseFailedCode = -32;

Json::Value realArray(const double* values, std::size_t count) {
  Json::Value array(Json::arrayValue);
  for (std::size_t i = 0; i < count; ++i) array.append(values[i]);
  return array;
}

Json::Value toolsetToJson(const Toolset& toolset) {
  Json::Value out(Json::objectValue);
  frameToJson(toolset.ref, out["ref"]);
  frameToJson(toolset.end, out["end"]);
  loadToJson(out["load"], toolset.load);
  return out;
}

// The arguments as the log lines print them: the joints or the pose, then the tool set.
template <typename First>
std::string describeArguments(const First& first, const Toolset* toolset) {
  return toolset != nullptr ? fmt::format("{} {}", first, *toolset) : fmt::format("{}", first);
}

bool fail(std::error_code& ec, int code) {
  ec = makeErrorCode(code);
  return false;
}

// The pose reader takes a list of another kind for a missing one and reads zeros; in an answer
// that is garbage, not a pose at the origin.
bool listsAreArrays(const Json::Value& pose) {
  for (const char* name : {"trans", "rot", "conf", "external"}) {
    if (hasMember(pose, name) && !member(pose, name).isArray()) return false;
  }
  return true;
}

}  // namespace

bool readForwardReply(const Json::Value& reply, CartesianPosition& pose, std::error_code& ec) {
  // A bare code is the controller's refusal; the zero pose must not pass for an answer.
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isObject() || !listsAreArrays(data)) return fail(ec, kUnreadableReplyCode);
  JsonReadStatus status;
  CartesianPosition read = jsonToCartesian(data, status);
  if (!status.ok()) return fail(ec, kUnreadableReplyCode);
  pose = std::move(read);
  return true;
}

bool readInverseReply(const Json::Value& reply, double* out, std::size_t count, std::error_code& ec) {
  if (hasMember(reply, "error")) return fail(ec, kInverseFailedCode);
  // A bare 0 says success but carries no joints.
  if (takeIntegerReply(reply, ec, kAxisMismatchCode)) return false;
  if (jsonToArray(member(reply, "data"), out, static_cast<unsigned>(count)) != 0) {
    return fail(ec, kAxisMismatchCode);
  }
  return true;
}

CartesianPosition calcForward(const BaseModel::Impl* model, const double* joints, std::size_t count,
                              const Toolset* toolset, std::error_code& ec) noexcept {
  CartesianPosition pose;
  std::string arguments;
  runOperation(model, ec, [&](const BaseModel::Impl& impl) {
    const std::vector<double> jointList(joints, joints + count);
    arguments = describeArguments(jointList, toolset);
    // jsoncpp writes NaN as null and infinity as 1e+9999: the controller would answer for
    // some other joint values.
    if (!allFinite(jointList) || (toolset != nullptr && !allFinite(*toolset))) {
      ec = makeErrorCode(kArgumentInvalidCode);
      return;
    }
    Json::Value value = realArray(joints, count);
    if (toolset != nullptr) {
      Json::Value object(Json::objectValue);
      object["jnt_pos"] = std::move(value);
      object["tool_set"] = toolsetToJson(*toolset);
      value = std::move(object);
    }
    Json::Value reply;
    command(*impl.link, "sys.calc.fk", value, reply, ec);
    if (!ec) readForwardReply(reply, pose, ec);
  });
  // An empty object sends nothing and writes no line.
  if (model == nullptr) return pose;
  if (ec) {
    pose = CartesianPosition();
    logBoth(*model->link, spdlog::level::err, "uid: {} | calcFk {} ({})", logUid, arguments, ec);
  } else {
    logBoth(*model->link, spdlog::level::info, "uid: {} | calcFk {}, ret:{} ({})", logUid, arguments, pose, ec);
  }
  return pose;
}

void calcInverse(const BaseModel::Impl* model, CartesianPosition posture, const Toolset* toolset, double* out,
                 std::size_t count, std::error_code& ec) noexcept {
  std::fill(out, out + count, 0.0);
  std::string arguments;
  runOperation(model, ec, [&](const BaseModel::Impl& impl) {
    if (!posture.confData.empty()) posture.confData.resize(count, 0);
    arguments = describeArguments(posture, toolset);
    if (isMatrixOnly(posture)) {
      ec = makeErrorCode(kInvalidTransformationCode);
      return;
    }
    if (!allFinite(posture) || !fitsArm(posture, count) || (toolset != nullptr && !allFinite(*toolset))) {
      ec = makeErrorCode(kArgumentInvalidCode);
      return;
    }
    Json::Value value = cartesianToJson(posture, true);
    if (toolset != nullptr) value["tool_set"] = toolsetToJson(*toolset);
    Json::Value reply;
    command(*impl.link, "sys.calc.ik", value, reply, ec);
    if (!ec) readInverseReply(reply, out, count, ec);
  });
  if (model == nullptr) return;
  if (ec) std::fill(out, out + count, 0.0);
  // 261 comes from reading the answer, so it is logged with the (zero) result like a success.
  if (!ec || ec.value() == kAxisMismatchCode) {
    logBoth(*model->link, spdlog::level::info, "uid: {} | calcIk {}, ret:[{}] ({})", logUid, arguments,
            fmt::join(out, out + count, ", "), ec);
  } else {
    logBoth(*model->link, spdlog::level::err, "uid: {} | calcIk {} ({})", logUid, arguments, ec);
  }
}

}  // namespace internal

template <unsigned short N>
Model_T<N>::Model_T(std::shared_ptr<internal::XService> link) : BaseModel(std::move(link)) {}

template <unsigned short N>
Model_T<N>::~Model_T() = default;

template <unsigned short N>
CartesianPosition Model_T<N>::calcFk(const std::array<double, N>& joints, std::error_code& ec) noexcept {
  return internal::calcForward(impl(), joints.data(), N, nullptr, ec);
}

template <unsigned short N>
CartesianPosition Model_T<N>::calcFk(const std::array<double, N>& joints, const Toolset& toolset,
                                     std::error_code& ec) noexcept {
  return internal::calcForward(impl(), joints.data(), N, &toolset, ec);
}

// The declared signatures take the pose by value.
template <unsigned short N>
std::array<double, N> Model_T<N>::calcIk(CartesianPosition posture,  // NOLINT(performance-unnecessary-value-param)
                                         std::error_code& ec) noexcept {
  std::array<double, N> joints{};
  internal::calcInverse(impl(), posture, nullptr, joints.data(), N, ec);
  return joints;
}

template <unsigned short N>
std::array<double, N> Model_T<N>::calcIk(CartesianPosition posture,  // NOLINT(performance-unnecessary-value-param)
                                         const Toolset& toolset, std::error_code& ec) noexcept {
  std::array<double, N> joints{};
  internal::calcInverse(impl(), posture, &toolset, joints.data(), N, ec);
  return joints;
}

template class Model_T<3>;
template class Model_T<4>;
template class Model_T<5>;
template class Model_T<6>;
template class Model_T<7>;

}  // namespace velmora
