// Replies to the kinematics, force-control and EtherCAT requests are untrusted: any JSON must go through every
// reader without an exception, a crash or undefined behaviour; a failure always carries a code
// and never touches more of a caller's buffer than it offered.
#include <json/reader.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ethercat/ethercat_impl.h"
#include "force_control/force_control_impl.h"
#include "fuzz_support.h"
#include "model/model_impl.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

using fuzz::require;

void modelReaders(const Json::Value& reply) {
  std::error_code ec;
  CartesianPosition pose;
  require(readForwardReply(reply, pose, ec) != static_cast<bool>(ec));
  ec.clear();
  std::array<double, 7> joints{};
  require(readInverseReply(reply, joints.data(), joints.size(), ec) != static_cast<bool>(ec));
  ec.clear();
  std::vector<std::vector<double>> solutions;
  std::vector<std::vector<int>> confs;
  const bool read = readAllInverseReply(reply, solutions, confs, ec);
  require(read ? solutions.size() == confs.size() : static_cast<bool>(ec));
}

void ethercatReaders(const Json::Value& reply) {
  std::error_code ec;
  std::vector<SlaveStateEntry> states;
  require(readStateList(reply, states, ec) != static_cast<bool>(ec));
  ec.clear();
  SlaveInfo info;
  require(readSlaveInfo(reply, info, ec) != static_cast<bool>(ec));
  ec.clear();
  // Guard bytes around the 4 bytes offered.
  std::array<std::uint8_t, 12> buffer;
  buffer.fill(0xA5);
  readByteData(reply, buffer.data() + 4, 4, ec);
  for (int i = 0; i < 4; ++i) require(buffer[i] == 0xA5 && buffer[8 + i] == 0xA5);
  ec.clear();
  readByteData(reply, nullptr, 0, ec);
  ec.clear();
  writeVerdict(reply, ec);
}

void forceControlReaders(const Json::Value& reply) {
  std::error_code ec;
  checkErrorReply(reply, ec);
  // Guard values around the joint arrays: a reader writes at most the count it was given.
  std::array<double, 9> joint;
  std::array<double, 9> external;
  joint.fill(-1);
  external.fill(-1);
  std::array<double, 3> torque{}, force{};
  ec.clear();
  const bool read = readEndTorque(reply, joint.data() + 1, external.data() + 1, 7, torque, force, ec);
  require(read != static_cast<bool>(ec));
  require(joint[0] == -1 && joint[8] == -1 && external[0] == -1 && external[8] == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Json::Value reply;
  const char* text = reinterpret_cast<const char*>(data);
  if (!fuzz::parseJson(text, text + size, reply)) return 0;
  modelReaders(reply);
  ethercatReaders(reply);
  forceControlReaders(reply);
  return 0;
}
