// `BaseModel`: ownership of the private state, and every inverse solution of a pose.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/model.h>

#include <utility>
#include <vector>

#include "common/json_convert.h"
#include "common/reply_read.h"
#include "common/value_checks.h"
#include "model/model_impl.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"

namespace velmora {

BaseModel::BaseModel(std::shared_ptr<internal::XService> link)
    : impl_(std::make_unique<Impl>(std::move(link))) {}

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
  ec = makeErrorCode(0);
  std::vector<std::vector<double>> solutions;
  if (!impl_) {
    ec = makeErrorCode(kNoObjectCode);
    return solutions;
  }
  guardReply(ec, [&] {
    if (isMatrixOnly(posture)) {
      ec = makeErrorCode(260);
      return;
    }
    if (!allFinite(posture) || !fitsArm(posture, 0)) {
      ec = makeErrorCode(259);
      return;
    }
    Json::Value reply;
    impl_->link->sendCommand("utils.calc.all.ik", cartesianToJson(posture, false), reply, ec,
                             linkSettings().defaultRequestWait.load());
    if (!ec) readAllInverseReply(reply, solutions, confs, ec);
  });
  if (ec) solutions.clear();
  return solutions;
}

}  // namespace velmora
