#pragma once
// Kinematics model of an arm. The controller computes; a model object only forwards the question
// on the robot's command link and converts the answer. A model shares that link with the robot
// and keeps it alive after the robot object is gone; its requests still need a connected link.
// Every operation blocks the calling thread for at most 10 s (the link's reply wait), holds no
// lock and keeps no mutable state, so one model may be used from several threads at once.
// An object that was moved from owns nothing; its operations give 255.

#include <array>
#include <memory>
#include <system_error>
#include <vector>

#include <velmora/base.h>
#include <velmora/export.h>
#include <velmora/types.h>

namespace velmora {

namespace internal {
class XService;  // the command link, defined inside the library
}  // namespace internal

/// Part of the model that does not depend on the joint count.
class VELMORA_API BaseModel : public Base<BaseModel> {
 public:
  /// Takes a share of the robot's command link; sends nothing.
  explicit BaseModel(std::shared_ptr<internal::XService> link);
  ///@{
  /// A copy has its own state over the same link; copies and moves send nothing.
  /// A moved-from object owns nothing and reports 255.
  BaseModel(const BaseModel& other);
  BaseModel(BaseModel&& other) noexcept;
  BaseModel& operator=(const BaseModel& other);
  BaseModel& operator=(BaseModel&& other) noexcept;
  ///@}
  /// Releases this object's share of the link; sends nothing.
  virtual ~BaseModel();

  /// Every inverse solution of `posture` ("utils.calc.all.ik", elbow sent as "elb"): one joint
  /// list per solution, with its configuration list at the same index of `confs`; an integer
  /// reply is the code, 257 for a reply without "data"."result", 261 for a solution without
  /// "jnt" or "conf" arrays (`confs` is then left empty too), 260 for a pose given only as a
  /// matrix and 259 for a value that is not finite or more than 6 external-axis values (nothing
  /// sent), 256/257/263 from the link.
  std::vector<std::vector<double>> calcAllIkSolutions(const CartesianPosition& posture,
                                                      std::vector<std::vector<int>>& confs,
                                                      std::error_code& ec) noexcept;

 public:
  /// The private state, defined inside the library.
  class Impl;

 protected:
  /// The private state; null after a move.
  Impl* impl() const noexcept;

 private:
  std::unique_ptr<Impl> impl_;
};

/// The model of an arm with `N` joints (3 to 7).
template <unsigned short N>
class VELMORA_API Model_T : public BaseModel {
 public:
  /// As `BaseModel`'s constructor; robots hand these out (`Robot_T::model`).
  explicit Model_T(std::shared_ptr<internal::XService> link);
  ///@{
  /// As `BaseModel`'s.
  Model_T(const Model_T&) = default;
  Model_T(Model_T&&) noexcept = default;
  Model_T& operator=(const Model_T&) = default;
  Model_T& operator=(Model_T&&) noexcept = default;
  ///@}
  ~Model_T() override;

  /// Forward kinematics ("sys.calc.fk" with the joint array): the pose of "data"; a non-zero
  /// integer reply is the code and 257 a reply without an object "data", 259 for a value that
  /// is not finite (nothing sent), 256/257/263 from the link; every failure returns the
  /// all-zero pose.
  CartesianPosition calcFk(const std::array<double, N>& joints, std::error_code& ec) noexcept;
  /// As `calcFk` with "jnt_pos" and the tool set "tool_set" in one object.
  CartesianPosition calcFk(const std::array<double, N>& joints, const Toolset& toolset, std::error_code& ec) noexcept;

  /// Inverse kinematics ("sys.calc.ik", elbow sent as "redundant", configuration data cut or
  /// padded to N): the N joint values of "data"; -32 for a reply with "error", an integer reply
  /// is the code, 261 for a short or missing "data" (or a bare 0), 260 for a pose given only as
  /// a matrix and 259 for a value that is not finite or more than 6 external-axis values
  /// (nothing sent), 256/257/263 from the link; every failure returns N zeros.
  std::array<double, N> calcIk(CartesianPosition posture, std::error_code& ec) noexcept;
  /// As `calcIk` with the tool set added as "tool_set".
  std::array<double, N> calcIk(CartesianPosition posture, const Toolset& toolset, std::error_code& ec) noexcept;
};

extern template class Model_T<3>;
extern template class Model_T<4>;
extern template class Model_T<5>;
extern template class Model_T<6>;
extern template class Model_T<7>;

}  // namespace velmora
