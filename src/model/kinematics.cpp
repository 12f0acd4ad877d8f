// Forward and inverse kinematics of `Model_T<N>`: one request each, the answer read with kind
// checks; the joint count only sizes the arrays.

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <json/value.h>
#include <velmora/error.h>
#include <velmora/model.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/formatters.h"
#include "common/globals.h"
#include "common/json_convert.h"
#include "common/operation_log.h"
#include "common/reply_read.h"
#include "common/value_checks.h"
#include "model/model_impl.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"

namespace velmora {
namespace internal {
namespace {

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

}  // namespace

CartesianPosition calcForward(const BaseModel::Impl* model, const double* joints, std::size_t count,
                              const Toolset* toolset, std::error_code& ec) noexcept {
  ec = makeErrorCode(0);
  if (model == nullptr) {
    ec = makeErrorCode(kNoObjectCode);
    return {};
  }
  CartesianPosition pose;
  std::shared_ptr<spdlog::logger> robotLog;
  std::string arguments;
  guardReply(ec, [&] {
    robotLog = model->link->logger();
    const std::vector<double> jointList(joints, joints + count);
    arguments = describeArguments(jointList, toolset);
    // jsoncpp writes NaN as null and infinity as 1e+9999: the controller would answer for
    // some other joint values.
    if (!allFinite(jointList) || (toolset != nullptr && !allFinite(*toolset))) {
      ec = makeErrorCode(259);
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
    model->link->sendCommand("sys.calc.fk", value, reply, ec,
                             linkSettings().defaultRequestWait.load());
    if (!ec) readForwardReply(reply, pose, ec);
  });
  if (ec) {
    pose = CartesianPosition();
    logOperation(robotLog, spdlog::level::err, "uid: {} | calcFk {} ({})", logUid, arguments, ec);
  } else {
    logOperation(robotLog, spdlog::level::info, "uid: {} | calcFk {}, ret:{} ({})", logUid,
                 arguments, pose, ec);
  }
  return pose;
}

void calcInverse(const BaseModel::Impl* model, CartesianPosition posture, const Toolset* toolset,
                 double* out, std::size_t count, std::error_code& ec) noexcept {
  ec = makeErrorCode(0);
  std::fill(out, out + count, 0.0);
  if (model == nullptr) {
    ec = makeErrorCode(kNoObjectCode);
    return;
  }
  std::shared_ptr<spdlog::logger> robotLog;
  std::string arguments;
  guardReply(ec, [&] {
    robotLog = model->link->logger();
    if (!posture.confData.empty()) posture.confData.resize(count, 0);
    arguments = describeArguments(posture, toolset);
    if (isMatrixOnly(posture)) {
      ec = makeErrorCode(260);
      return;
    }
    if (!allFinite(posture) || !fitsArm(posture, count) || (toolset != nullptr && !allFinite(*toolset))) {
      ec = makeErrorCode(259);
      return;
    }
    Json::Value value = cartesianToJson(posture, true);
    if (toolset != nullptr) value["tool_set"] = toolsetToJson(*toolset);
    Json::Value reply;
    model->link->sendCommand("sys.calc.ik", value, reply, ec,
                             linkSettings().defaultRequestWait.load());
    if (!ec) readInverseReply(reply, out, count, ec);
  });
  if (ec) std::fill(out, out + count, 0.0);
  // 261 comes from reading the answer, so it is logged with the (zero) result like a success.
  if (!ec || ec.value() == 261) {
    logOperation(robotLog, spdlog::level::info, "uid: {} | calcIk {}, ret:[{}] ({})", logUid,
                 arguments, fmt::join(out, out + count, ", "), ec);
  } else {
    logOperation(robotLog, spdlog::level::err, "uid: {} | calcIk {} ({})", logUid, arguments, ec);
  }
}

}  // namespace internal

template <unsigned short N>
Model_T<N>::Model_T(std::shared_ptr<internal::XService> link) : BaseModel(std::move(link)) {}

template <unsigned short N>
Model_T<N>::~Model_T() = default;

template <unsigned short N>
CartesianPosition Model_T<N>::calcFk(const std::array<double, N>& joints,
                                     std::error_code& ec) noexcept {
  return internal::calcForward(impl(), joints.data(), N, nullptr, ec);
}

template <unsigned short N>
CartesianPosition Model_T<N>::calcFk(const std::array<double, N>& joints, const Toolset& toolset,
                                     std::error_code& ec) noexcept {
  return internal::calcForward(impl(), joints.data(), N, &toolset, ec);
}

template <unsigned short N>
std::array<double, N> Model_T<N>::calcIk(CartesianPosition posture, std::error_code& ec) noexcept {
  std::array<double, N> joints{};
  internal::calcInverse(impl(), std::move(posture), nullptr, joints.data(), N, ec);
  return joints;
}

template <unsigned short N>
std::array<double, N> Model_T<N>::calcIk(CartesianPosition posture, const Toolset& toolset,
                                         std::error_code& ec) noexcept {
  std::array<double, N> joints{};
  internal::calcInverse(impl(), std::move(posture), &toolset, joints.data(), N, ec);
  return joints;
}

template class Model_T<3>;
template class Model_T<4>;
template class Model_T<5>;
template class Model_T<6>;
template class Model_T<7>;

}  // namespace velmora
