#pragma once
// The private state of a kinematics model and the requests behind its operations. The
// controller computes; these functions build the question, send it on the robot's command
// link and read the answer with kind checks, so no reply can throw out of a noexcept operation.

#include <velmora/model.h>
#include <velmora/types.h>

#include <cstddef>
#include <memory>
#include <system_error>
#include <vector>

namespace velmora {

class BaseModel::Impl {
 public:
  explicit Impl(std::shared_ptr<internal::XService> commandLink) : link(std::move(commandLink)) {}
  /// Shared with the robot and every other model; keeps the link alive after the robot is gone.
  std::shared_ptr<internal::XService> link;
};

namespace internal {

// `model` is null for an object that was moved from: 255 and nothing sent.

/// "sys.calc.fk" for `count` joint values, with "tool_set" when `toolset` is given. The pose of
/// the reply's "data", or the all-zero pose with `ec` set.
CartesianPosition calcForward(const BaseModel::Impl* model, const double* joints, std::size_t count,
                              const Toolset* toolset, std::error_code& ec) noexcept;

/// "sys.calc.ik": `out` receives the `count` joint values of the reply, or `count` zeros with
/// `ec` set.
void calcInverse(const BaseModel::Impl* model, CartesianPosition posture, const Toolset* toolset,
                 double* out, std::size_t count, std::error_code& ec) noexcept;

}  // namespace internal
}  // namespace velmora
