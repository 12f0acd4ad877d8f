#pragma once
// Robots of every stream-capable size against the test's simulator, for the state stream tests.

#include <velmora/exception.h>
#include <velmora/robots.h>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "network/state_stream/data_receiver.h"
#include "robot/robot_fixture.h"

class StateStreamTest : public RobotSimTest {
 protected:
  /// Makes the simulator an arm of `joints` collaborative joints and connects `Robot` to it
  /// (from the test's address unless `local` says otherwise), its links built with `options`.
  template <class Robot>
  std::unique_ptr<Robot> connect(int joints, const std::string& local,
                                 const velmora::internal::LinkOptions& options = {}) {
    velmora_sim::ControllerInfo info;
    info.jointCount = joints;
    info.type = "Sim-C" + std::to_string(joints);
    sim().setInfo(info);
    auto robot = velmora::internal::RobotAssembly::build<Robot>(options);
    robot->connectToRobot(address(), local);
    command().log().clear();
    return robot;
  }
  template <class Robot>
  std::unique_ptr<Robot> connect(int joints, const velmora::internal::LinkOptions& options = {}) {
    return connect<Robot>(joints, address(), options);
  }

  /// The keys of the requests the simulator received, in order.
  std::vector<std::string> keys() {
    std::vector<std::string> out;
    for (const auto& record : command().log().all()) out.push_back(record.key);
    return out;
  }

  /// A UDP port nobody holds on any address right now.
  static unsigned short freeUdpPort() {
    asio::io_context io;
    asio::ip::udp::socket socket(io, asio::ip::udp::endpoint(asio::ip::address_v4::any(), 0));
    return socket.local_endpoint().port();
  }
};

/// What `what()` of the exception `call` throws holds, or "" when it throws none or another type.
template <class E, class Call>
std::string thrownText(Call&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  } catch (...) {
  }
  return "";
}
