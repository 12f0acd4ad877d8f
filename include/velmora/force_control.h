#pragma once
// Force control of a collaborative arm. The controller runs the force controller; these objects
// only send it "eci.fc." commands on the robot's command link, which they share with the robot
// and keep alive after the robot object is gone (requests still need a connected link).
// Unless a line says otherwise, an operation sends one "c" request and blocks the calling thread
// for at most 10 s; its code is 256/257/263 from the link, or the controller's code from an
// integer reply or an "error" member (257 for an "error" that is not an integer). Range checks
// run first and refuse NaN: 258, nothing sent; a value without a range that is NaN or infinite
// gives 259, nothing sent. An object that was moved from owns nothing; its operations give 255.
// One object may be used from several threads: its only state, the condition wait time, is
// atomic.

#include <array>
#include <memory>
#include <system_error>

#include <velmora/enums.h>
#include <velmora/export.h>
#include <velmora/types.h>

namespace velmora {

namespace internal {
class XService;  // the command link, defined inside the library
}  // namespace internal

/// Part of force control that does not depend on the joint count.
class VELMORA_API BaseForceControl {
 public:
  /// Takes a share of the robot's command link and sends "eci.fc.set_callback" 0, whose outcome
  /// is ignored (blocks up to 10 s); the condition wait time starts at 600 s.
  explicit BaseForceControl(std::shared_ptr<internal::XService> link);
  ///@{
  /// A copy has its own state over the same link and the same wait time; copies and moves send
  /// nothing.
  /// A moved-from object owns nothing and reports 255.
  BaseForceControl(const BaseForceControl& other);
  BaseForceControl(BaseForceControl&& other) noexcept;
  BaseForceControl& operator=(const BaseForceControl& other);
  BaseForceControl& operator=(BaseForceControl&& other) noexcept;
  ///@}
  /// Releases this object's share of the link; sends nothing.
  virtual ~BaseForceControl();

  // Set-up.
  /// "eci.fc.init" with the frame name: base, flange, tool, wobj, path; "world" for world, rail
  /// and any other value.
  void fcInit(FrameType type, std::error_code& ec) noexcept;
  /// "eci.fc.start" with a null value.
  void fcStart(std::error_code& ec) noexcept;
  /// "eci.fc.stop" with a null value.
  void fcStop(std::error_code& ec) noexcept;
  /// "eci.fc.set" "control_type": 0 sends "joint", 1 "cart", any other value 258.
  void setControlType(int type, std::error_code& ec) noexcept;
  /// "eci.fc.set" "load" with mass, centre of gravity and inertia.
  void setLoad(const Load& load, std::error_code& ec) noexcept;

  // Stiffness and desired values (no range).
  /// "eci.fc.set" "cart_stiff" with the six values.
  void setCartesianStiffness(const std::array<double, 6>& stiffness, std::error_code& ec) noexcept;
  /// "eci.fc.set" "cart_ns_stiff" with the value.
  void setCartesianNullspaceStiffness(double stiffness, std::error_code& ec) noexcept;
  /// "eci.fc.set" "cart_force" with the six values.
  void setCartesianDesiredForce(const std::array<double, 6>& value, std::error_code& ec) noexcept;

  // End conditions and their wait.
  /// "eci.fc.set" "force_cond" with the range, the inside flag and `timeout` in seconds, which
  /// must lie in 1..600 (258, NaN included); on success the wait time drops to
  /// ceil(timeout) + 5 s when that is shorter (it is never raised).
  void setForceCondition(const std::array<double, 6>& range, bool isInside, double timeout,
                         std::error_code& ec) noexcept;
  /// As `setForceCondition` with "torque_cond".
  void setTorqueCondition(const std::array<double, 6>& range, bool isInside, double timeout,
                          std::error_code& ec) noexcept;
  /// As `setForceCondition` with "posbox_cond", the supervising frame and the box times 1000;
  /// 260 for a frame given only as a matrix (nothing sent).
  void setPoseBoxCondition(const Frame& supervising_frame, const std::array<double, 6>& box, bool isInside,
                           double timeout, std::error_code& ec) noexcept;
  /// "eci.fc.cond" "wait": blocks until the controller reports the conditions met or the wait
  /// time (600 s unless a condition lowered it) runs out (263).
  void waitCondition(std::error_code& ec) noexcept;

  // Monitoring.
  /// "eci.fc.monitor" "monitor" with the enable flag.
  void fcMonitor(bool enable, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "cart_vel_max"; each value 0 to the largest finite double (258).
  void setCartesianMaxVel(const std::array<double, 6>& velocity, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "cart_ctrl_max_vel"; values 0-2 within 0..3.0, 3-5 within 0..10.0 (258).
  void setCartesianControlMaxVel(const std::array<double, 6>& max_cart_vel, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "cart_ctrl_max_wrench"; each value 0..1000.0 (258).
  void setCartesianControlMaxWrench(const std::array<double, 6>& max_wrench, std::error_code& ec) noexcept;

  // Overlays.
  /// "eci.fc.set" "sine_overlay"; line_dir 0..2, phase 0..pi, bias 0..10.0 (258).
  void setSineOverlay(int line_dir, double amplify, double frequency, double phase, double bias,
                      std::error_code& ec) noexcept;
  /// "eci.fc.set" "lissajous_overlay"; plane 0..2, amplitudes 0..20.0, frequencies 0..5.0,
  /// phase_diff 0..pi (258).
  void setLissajousOverlay(int plane, double amplify_one, double frequency_one, double amplify_two,
                           double frequency_two, double phase_diff, std::error_code& ec) noexcept;
  /// "eci.fc.overlay" "start".
  void startOverlay(std::error_code& ec) noexcept;
  /// "eci.fc.overlay" "stop".
  void stopOverlay(std::error_code& ec) noexcept;
  /// "eci.fc.overlay" "pause".
  void pauseOverlay(std::error_code& ec) noexcept;
  /// "eci.fc.overlay" "restart".
  void restartOverlay(std::error_code& ec) noexcept;

 public:
  /// The private state, defined inside the library.
  class Impl;

 protected:
  /// The private state; null after a move.
  Impl* impl() const noexcept;

 private:
  std::unique_ptr<Impl> impl_;
};

/// Force control of an arm with `N` joints (5, 6 or 7).
template <unsigned short N>
class VELMORA_API ForceControl_T : public BaseForceControl {
 public:
  /// As `BaseForceControl`'s constructor; robots hand these out (`Cobot::forceControl`).
  explicit ForceControl_T(std::shared_ptr<internal::XService> link);
  ///@{
  /// As `BaseForceControl`'s.
  ForceControl_T(const ForceControl_T&) = default;
  ForceControl_T(ForceControl_T&&) noexcept = default;
  ForceControl_T& operator=(const ForceControl_T&) = default;
  ForceControl_T& operator=(ForceControl_T&&) noexcept = default;
  ///@}
  ~ForceControl_T() override;

  /// "eci.fc.set" "joint_stiff" with the N values.
  void setJointStiffness(const std::array<double, N>& stiffness, std::error_code& ec) noexcept;
  /// "eci.fc.set" "joint_trq" with the N values.
  void setJointDesiredTorque(const std::array<double, N>& torque, std::error_code& ec) noexcept;

  /// "g" request "eci.fc.end_torque." + ref_world, ref_flange or ref_tcp (world, flange, tool;
  /// any other type 259, nothing sent); fills joint, external, force, torque in that order until
  /// a member is missing, short or not numbers (261; outputs read before it keep their values);
  /// an integer reply is the code (0, which carries no values, 261), a reply or "cart" of
  /// another kind 257; no line is logged.
  void getEndTorque(FrameType ref_type, std::array<double, N>& joint_torque_measured,
                    std::array<double, N>& external_torque_measured, std::array<double, 3>& cart_torque,
                    std::array<double, 3>& cart_force, std::error_code& ec) noexcept;

  /// "eci.fc.monitor" "joint_vel_max"; each value 0 to the largest finite double (258).
  void setJointMaxVel(const std::array<double, N>& velocity, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "joint_momentum_max"; each value 0 to the largest finite double (258).
  void setJointMaxMomentum(const std::array<double, N>& momentum, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "joint_energy_max"; each value 0 to the largest finite double (258).
  void setJointMaxEnergy(const std::array<double, N>& energy, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "jnt_ctrl_max_vel"; each value 0..10.0 (258).
  void setJointControlMaxVel(const std::array<double, N>& max_joint_vel, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "jnt_ctrl_max_torque"; each value 0..1000.0 (258).
  void setJointControlMaxTorque(const std::array<double, N>& max_torque, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "gain_value"; each value 0..60.0 (258).
  void setFcGain(const std::array<double, N>& gain, std::error_code& ec) noexcept;
  /// "eci.fc.monitor" "friction"; each value 0..1.0 (258).
  void setFriction(const std::array<double, N>& fric, std::error_code& ec) noexcept;
};

extern template class ForceControl_T<5>;
extern template class ForceControl_T<6>;
extern template class ForceControl_T<7>;

}  // namespace velmora
