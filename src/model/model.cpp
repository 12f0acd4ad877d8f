// `BaseModel`: ownership of the private state, and every inverse solution of a pose.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/model.h>

#include <utility>
#include <vector>

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

bool readIntegerList(const Json::Value& array, std::vector<int>& out) {
  if (!array.isArray()) return false;
  std::vector<int> values(array.size(), 0);
  for (Json::ArrayIndex i = 0; i < array.size(); ++i) {
    if (!readInt(array[i], values[i])) return false;
  }
  out = std::move(values);
  return true;
}

}  // namespace

bool readAllInverseReply(const Json::Value& reply, std::vector<std::vector<double>>& solutions,
                         std::vector<std::vector<int>>& confs, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, 0)) {
    if (ec) return false;
    // A bare 0 is an answer here: no solution, and so no configuration either.
    confs.clear();
    return true;
  }
  const Json::Value& result = member(member(reply, "data"), "result");
  if (!result.isArray()) {
    ec = makeErrorCode(kUnreadableReplyCode);
    return false;
  }
  std::vector<std::vector<double>> joints(result.size());
  std::vector<std::vector<int>> configurations(result.size());
  for (Json::ArrayIndex i = 0; i < result.size(); ++i) {
    if (jsonToVector(member(result[i], "jnt"), joints[i]) != 0 ||
        !readIntegerList(member(result[i], "conf"), configurations[i])) {
      // Both lists end empty, so no index of one can point past the end of the other.
      confs.clear();
      ec = makeErrorCode(kAxisMismatchCode);
      return false;
    }
  }
  solutions = std::move(joints);
  confs = std::move(configurations);
  return true;
}

}  // namespace internal

// Without a link there is nothing to ask: the object holds no state, as one moved from.
BaseModel::BaseModel(std::shared_ptr<internal::XService> link)
    : impl_(link ? std::make_unique<Impl>(std::move(link)) : nullptr) {}

// A copy gets a state of its own over the same link; a copy of an empty object is empty.
BaseModel::BaseModel(const BaseModel& other)
    : Base<BaseModel>(other), impl_(other.impl_ ? std::make_unique<Impl>(*other.impl_) : nullptr) {}

BaseModel::BaseModel(BaseModel&& other) noexcept = default;

BaseModel& BaseModel::operator=(const BaseModel& other) {
  if (this != &other) impl_ = other.impl_ ? std::make_unique<Impl>(*other.impl_) : nullptr;
  return *this;
}

BaseModel& BaseModel::operator=(BaseModel&& other) noexcept = default;

BaseModel::~BaseModel() = default;

BaseModel::Impl* BaseModel::impl() const noexcept { return impl_.get(); }

std::vector<std::vector<double>> BaseModel::calcAllIkSolutions(const CartesianPosition& posture,
                                                               std::vector<std::vector<int>>& confs,
                                                               std::error_code& ec) noexcept {
  using namespace internal;
  std::vector<std::vector<double>> solutions;
  runOperation(impl_.get(), ec, [&](Impl& impl) {
    if (isMatrixOnly(posture)) {
      ec = makeErrorCode(kInvalidTransformationCode);
      return;
    }
    if (!allFinite(posture) || !fitsArm(posture, 0)) {
      ec = makeErrorCode(kArgumentInvalidCode);
      return;
    }
    Json::Value reply;
    command(*impl.link, "utils.calc.all.ik", cartesianToJson(posture, false), reply, ec);
    if (!ec) readAllInverseReply(reply, solutions, confs, ec);
  });
  if (ec) solutions.clear();
  return solutions;
}

}  // namespace velmora
