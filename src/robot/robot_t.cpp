// `Robot_T<W, N>`: life and connection. The only `template class` lines of `Robot_T`; other
// files instantiate their own members (see robot_instances.h).

#include <velmora/exception.h>
#include <velmora/robot_t.h>

#include "robot/operation_frame.h"
#include "robot/robot_instances.h"

namespace velmora {

namespace {

constexpr int kNetworkFailureCode = 256;
constexpr int kTimeoutCode = 263;
constexpr int kConnectFailureCode = 266;

}  // namespace

template <int W, unsigned short N>
Robot_T<W, N>::Robot_T() {
  impl().armJoints = N;
}

template <int W, unsigned short N>
Robot_T<W, N>::~Robot_T() = default;

template <int W, unsigned short N>
void Robot_T<W, N>::connectToRobot(std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  try {
    // `reconnect` stops a running state stream and drops the old connection first.
    impl().reconnect(impl().remoteIp, impl().localIp, W, N);
    // A restarted controller knows no local address, and the stream needs one.
    if constexpr (W != 0 || N >= 5) impl().setLocalIp(impl().localIp);
  } catch (const internal::ConnectTimeout&) {
    // A controller that stopped answering would make every later request, and the robot's
    // destruction, wait out its time.
    impl().disconnect();
    ec = internal::makeErrorCode(kTimeoutCode);
  } catch (const NetworkException&) {
    ec = internal::makeErrorCode(kNetworkFailureCode);
  } catch (...) {
    ec = internal::makeErrorCode(kConnectFailureCode);
  }
}

template <int W, unsigned short N>
void Robot_T<W, N>::connectToRobot(const std::string& remoteIP, const std::string& localIP) {
  Impl& robot = impl();
  try {
    robot.reconnect(remoteIP, localIP, W, N);
    // 3- and 4-axis arms have no state stream, so no address to receive it on.
    if constexpr (W != 0 || N >= 5) robot.setLocalIp(localIP);
  } catch (...) {
    robot.disconnect();
    robot.localIp.clear();
    robot.remoteIp.clear();
    throw;
  }
}

#define VELMORA_INSTANTIATE(W, N) template class Robot_T<W, N>;
VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
#undef VELMORA_INSTANTIATE

}  // namespace velmora
