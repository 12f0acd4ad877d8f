#pragma once
// The part of a robot class that depends on the work type `W` (1 collaborative, 0 industrial)
// and the joint count `N`. Operation conventions are those of `BaseRobot`.

#include <array>
#include <chrono>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include <velmora/base_robot.h>
#include <velmora/export.h>
#include <velmora/model.h>
#include <velmora/robot_records.h>

namespace velmora {

/// A robot class of work type `W` with `N` joints; instances <1,5>, <1,6>, <1,7>, <0,3>, <0,4>
/// and <0,6>.
template <int W, unsigned short N>
class VELMORA_API Robot_T : virtual public BaseRobot {
 public:
  ~Robot_T() override;

  /// Reconnects with the stored addresses after stopping a running state stream, and sends the
  /// stored local address again ("eci.ip", except on 3- and 4-axis arms, and only when one was
  /// accepted before): 256 for a link failure (the link lost at any step of the connection
  /// included, the address refused),
  /// 263 when a step had no reply in time (the controller silent after answering "sys.info"
  /// included; the robot is then disconnected), 266 for another failure (controller version,
  /// work type or joint count), which leaves the robot partly connected until
  /// `disconnectFromRobot`.
  void connectToRobot(std::error_code& ec) noexcept;
  /// Connects to new addresses, as the connecting constructors do (sends the local address,
  /// "eci.ip", except on 3- and 4-axis arms); on failure disconnects, forgets both addresses and
  /// throws `NetworkException` (link failure, a link lost or a request unanswered at any step),
  /// `ProtocolException` (controller older than 3.1.0) or `ExecutionException` (work type or
  /// joint count not this class's).
  void connectToRobot(const std::string& remoteIP, const std::string& localIP = "");

  /// A new kinematics model over this robot's command link; sends nothing.
  Model_T<N> model();

  /// Subscribes the fields ("eci.fields.out"), opens the UDP receiver, sends its port
  /// ("eci.port") and "eci.pub.start" with the interval in whole milliseconds, starts the
  /// real-time link, then waits up to 3 s for the first datagram on the calling thread. When
  /// the command link comes back by itself after a loss (a controller restart), the local
  /// address and this subscription are sent again and the stream resumes by itself; when the
  /// controller refuses them, or no datagram comes within the request wait and the first-packet
  /// wait, the stream is marked stopped (see `updateRobotState`) and a new start works. Throws
  /// `RealtimeStateException` (already receiving another set, no datagram) or
  /// `RealtimeControlException` (fields refused: 513, socket not open, publishing refused); a
  /// failure after publishing sends "eci.pub.stop". The same set again, or an empty list, does
  /// nothing. A template only so that 3- and 4-axis arms, which have no stream, fail to
  /// compile a call instead of failing to link.
  template <bool Stream = (W != 0 || N >= 5), std::enable_if_t<Stream, int> = 0>
  void startReceiveRobotState(std::chrono::nanoseconds interval, const std::vector<std::string>& fields);
  /// One "g" request of "sys.rt.jnt_pos", "sys.posture", "device.io", "sys.mode" and
  /// "project.run_param": the snapshot; 261 for fewer than N joint values; a default record on
  /// failure.
  StateList getStateList(std::error_code& ec) noexcept;
  /// "g" "sys.rt.jnt_trq": the N joint torques; 261 for fewer than N values; zeros on failure.
  std::array<double, N> jointTorque(std::error_code& ec) noexcept;

  /// "c" "utils.calibrate_frame" from robot positions of N joint values: base 6 points, tool
  /// 3, 4 or 6, wobj 3, rail 3, anything else 259 (nothing sent); 273 for a reply with "error",
  /// -260 for one without a readable "frame"; all zero on failure.
  FrameCalibrationResult calibrateFrame(FrameType type, const std::vector<std::array<double, N>>& points, bool is_held,
                                        std::error_code& ec, const std::array<double, 3>& base_aux = {}) noexcept;
  /// "g" "safety.soft_limit": whether the soft limits are on, with the lower and upper limit of
  /// each joint in `limits` (entries missing from short arrays read 0); 257 for a reply without
  /// "enable", "lower" or "upper"; false and `limits` untouched on failure.
  bool getSoftLimit(std::array<double[2], N>& limits, std::error_code& ec) noexcept;
  /// "c" "safety.soft_limit" with the flag and the N lower/upper pairs; the reply is the code.
  /// With the default `limits` (largest double as the first lower limit) only the flag is set.
  void setSoftLimit(bool enable, std::error_code& ec,
                    const std::array<double[2], N>& limits = {
                        {{std::numeric_limits<double>::max(), std::numeric_limits<double>::max()}}}) noexcept;

 protected:
  Robot_T();
};

extern template class Robot_T<1, 5>;
extern template class Robot_T<1, 6>;
extern template class Robot_T<1, 7>;
extern template class Robot_T<0, 3>;
extern template class Robot_T<0, 4>;
extern template class Robot_T<0, 6>;

extern template void Robot_T<1, 5>::startReceiveRobotState<true, 0>(std::chrono::nanoseconds,
                                                                    const std::vector<std::string>&);
extern template void Robot_T<1, 6>::startReceiveRobotState<true, 0>(std::chrono::nanoseconds,
                                                                    const std::vector<std::string>&);
extern template void Robot_T<1, 7>::startReceiveRobotState<true, 0>(std::chrono::nanoseconds,
                                                                    const std::vector<std::string>&);
extern template void Robot_T<0, 6>::startReceiveRobotState<true, 0>(std::chrono::nanoseconds,
                                                                    const std::vector<std::string>&);

}  // namespace velmora
