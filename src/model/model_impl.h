#pragma once
// The private state of a kinematics model and the requests behind its operations. The
// controller computes; these functions build the question, send it on the robot's command
// link and read the answer with kind checks, so no reply can throw out of a noexcept operation.

#include <json/value.h>
#include <velmora/model.h>
#include <velmora/types.h>

#include <cstddef>
#include <memory>
#include <system_error>
#include <vector>

namespace velmora {

class VELMORA_LOCAL BaseModel::Impl {
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

// Readers of the replies; false with `ec` set when the reply gives no result, and the outputs
// untouched then (apart from `confs`, emptied on 261).

/// "sys.calc.fk": the pose of "data". A bare code is the code (257 for 0); no object "data",
/// or a member of a kind the pose reader cannot take, gives 257.
bool readForwardReply(const Json::Value& reply, CartesianPosition& pose, std::error_code& ec);
/// "sys.calc.ik": the first `count` numbers of "data". -32 for an object with "error", a bare
/// code is the code (261 for 0), 261 for anything else without them.
bool readInverseReply(const Json::Value& reply, double* out, std::size_t count,
                      std::error_code& ec);
/// "utils.calc.all.ik": every "jnt" list of "data"."result" with its "conf" list. A bare code is
/// the code (0: no solution, true), 257 without a "result" array, 261 for an element without
/// the two arrays.
bool readAllInverseReply(const Json::Value& reply, std::vector<std::vector<double>>& solutions,
                         std::vector<std::vector<int>>& confs, std::error_code& ec);

}  // namespace internal
}  // namespace velmora
