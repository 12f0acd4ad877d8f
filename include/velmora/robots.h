#pragma once
// The concrete robot classes, one per arm model. Each has a connecting constructor, which
// connects at once (as `connectToRobot(remoteIP, localIP)`; it throws `NetworkException`,
// `ProtocolException` or `ExecutionException` and leaves nothing behind), and a default
// constructor, which connects nothing until `connectToRobot`. Operation conventions are those of
// `BaseRobot`.

#include <array>
#include <string>
#include <system_error>

#include <velmora/cobot.h>
#include <velmora/enums.h>
#include <velmora/export.h>
#include <velmora/industrial_robot.h>

namespace velmora {

/// Collaborative arm with 5 joints.
class VELMORA_API OstraLiteRobot : public Cobot<5> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above); `localIP` is this host's
  /// address on which the state stream arrives (sent as "eci.ip"; empty: none sent).
  explicit OstraLiteRobot(const std::string& remoteIP, const std::string& localIP = "");
  /// Connects nothing until `connectToRobot`.
  OstraLiteRobot();
  ~OstraLiteRobot() override;

  /// "c" "sys.completePostureLerp" with {"enable": enable}; the reply is the code.
  void enableCompletePostureLerp(bool enable, std::error_code& ec) noexcept;
};

/// Collaborative arm with 6 joints.
class VELMORA_API OstraRobot : public Cobot<6> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above); `localIP` is this host's
  /// address on which the state stream arrives (sent as "eci.ip"; empty: none sent).
  explicit OstraRobot(const std::string& remoteIP, const std::string& localIP = "");
  /// Connects nothing until `connectToRobot`.
  OstraRobot();
  ~OstraRobot() override;

  /// "g" "move.avoid_singularity" (lockAxis4) or "move.avoid_sing_wrist" (wrist): whether the
  /// method is on; 259 for another method, an integer reply is the code, -260 another shape.
  bool getAvoidSingularity(AvoidSingularityMethod method, std::error_code& ec) noexcept;
  /// "c" "move.avoid_singularity" with the flag alone (lockAxis4) or "move.avoid_sing_wrist"
  /// with the flag and `limit` (radians, sent in degrees); 259 for another method (nothing
  /// sent), an integer reply is the code, -260 another shape.
  void setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit, std::error_code& ec) noexcept;
};

/// Collaborative arm with 7 joints.
class VELMORA_API OstraMaxRobot : public Cobot<7> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above); `localIP` is this host's
  /// address on which the state stream arrives (sent as "eci.ip"; empty: none sent).
  explicit OstraMaxRobot(const std::string& remoteIP, const std::string& localIP = "");
  /// Connects nothing until `connectToRobot`.
  OstraMaxRobot();
  ~OstraMaxRobot() override;
};

/// Another collaborative arm with 7 joints; behaves as `OstraMaxRobot`.
class VELMORA_API LynRobot : public Cobot<7> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above); `localIP` is this host's
  /// address on which the state stream arrives (sent as "eci.ip"; empty: none sent).
  explicit LynRobot(const std::string& remoteIP, const std::string& localIP = "");
  /// Connects nothing until `connectToRobot`.
  LynRobot();
  ~LynRobot() override;
};

/// Industrial arm with 3 joints; never sends a local address.
class VELMORA_API Sorn3Robot : public IndustrialRobot<3> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above).
  explicit Sorn3Robot(const std::string& remoteIP);
  /// Connects nothing until `connectToRobot`.
  Sorn3Robot();
  ~Sorn3Robot() override;
};

/// Industrial arm with 4 joints; never sends a local address.
class VELMORA_API Sorn4Robot : public IndustrialRobot<4> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above).
  explicit Sorn4Robot(const std::string& remoteIP);
  /// Connects nothing until `connectToRobot`.
  Sorn4Robot();
  ~Sorn4Robot() override;
};

/// Industrial arm with 6 joints.
class VELMORA_API StandardRobot : public IndustrialRobot<6> {
 public:
  /// Connects to the controller at `remoteIP` at once (see above); `localIP` is this host's
  /// address on which the state stream arrives (sent as "eci.ip"; empty: none sent).
  explicit StandardRobot(const std::string& remoteIP, const std::string& localIP = "");
  /// Connects nothing until `connectToRobot`.
  StandardRobot();
  ~StandardRobot() override;

  /// "c" "safety.collision_detection" with the six sensitivities, behaviour "stop1" and the
  /// fallback: 264 for -1 (already on), another integer reply the code.
  void enableCollisionDetection(const std::array<double, 6>& sensitivity, double fallback,
                                std::error_code& ec) noexcept;
  /// "c" "safety.collision_detection" with {"enable": false}; the reply is the code.
  void disableCollisionDetection(std::error_code& ec) noexcept;
  /// As `OstraRobot::getAvoidSingularity`, also for jointWay ("move.avoid_sing_joint_way").
  bool getAvoidSingularity(AvoidSingularityMethod method, std::error_code& ec) noexcept;
  /// As `OstraRobot::setAvoidSingularity`, also for jointWay (`limit` sent unconverted).
  void setAvoidSingularity(AvoidSingularityMethod method, bool enable, double limit, std::error_code& ec) noexcept;
};

}  // namespace velmora
