#include "velmora_sim/state_layout.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace velmora::sim {

namespace {

using Type = StateFieldShape::Type;

// One value per joint.
const std::set<std::string> kPerJoint = {"q_m",
                                         "q_c",
                                         "dq_m",
                                         "dq_c",
                                         "ddq_m",
                                         "ddq_c",
                                         "tau_m",
                                         "tau_c",
                                         "tau_filtered_m",
                                         "tau_vel_c",
                                         "theta_m",
                                         "theta_vel_m",
                                         "motor_tau",
                                         "motor_tau_filtered"};
// Six values whatever the arm: Cartesian vectors, wrenches and the external axes.
const std::set<std::string> kSix = {"pos_abc_m", "pos_vel_m", "pos_vel_c",  "pos_acc_m",    "pos_acc_c",
                                    "ex_q_m",    "ex_dq_m",   "ex_motor_m", "tau_ext_base", "tau_ext_stiff"};
const std::set<std::string> kMatrix = {"pos_m", "pos_c"};
const std::set<std::string> kScalar = {"psi_m", "psi_c", "psi_vel_c", "psi_acc_c"};
const std::set<std::string> kCode = {"motion_mode", "control_mode"};
// A five-axis arm measures no joint acceleration, no Cartesian velocity or acceleration and has
// no keypad.
const std::set<std::string> kNotOnFive = {"ddq_m", "pos_vel_m", "pos_acc_m", "io_keypad"};

void putLe64(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putDouble(std::uint8_t* at, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  putLe64(at, bits);
}

}  // namespace

int stateSampleSlot(const std::string& name) {
  static const std::map<std::string, int> kSlots = {{"q_m", StateSample::joints},
                                                    {"q_c", StateSample::joints},
                                                    {"dq_m", StateSample::jointVelocities},
                                                    {"dq_c", StateSample::jointVelocities},
                                                    {"ddq_m", StateSample::jointAccelerations},
                                                    {"ddq_c", StateSample::jointAccelerations},
                                                    {"tau_m", StateSample::jointTorques},
                                                    {"tau_c", StateSample::jointTorques},
                                                    {"tau_filtered_m", StateSample::jointTorques},
                                                    {"pos_m", StateSample::pose},
                                                    {"pos_c", StateSample::pose},
                                                    {"pos_abc_m", StateSample::poseAbc},
                                                    {"pos_vel_m", StateSample::poseVelocity},
                                                    {"pos_vel_c", StateSample::poseVelocity},
                                                    {"pos_acc_m", StateSample::poseAcceleration},
                                                    {"pos_acc_c", StateSample::poseAcceleration},
                                                    {"psi_m", StateSample::elbow},
                                                    {"psi_c", StateSample::elbow}};
  const auto found = kSlots.find(name);
  return found == kSlots.end() ? -1 : found->second;
}

std::optional<StateFieldShape> stateFieldShape(const std::string& name, unsigned axes) {
  const unsigned joints = axes == 5 || axes == 6 ? axes : 7;
  if (joints == 5 && kNotOnFive.count(name) != 0) return std::nullopt;
  if (name == "ts") return StateFieldShape{Type::stamp, 1};
  if (name == "errors") return StateFieldShape{Type::flags, 20};
  if (name == "io_keypad") return StateFieldShape{Type::flags, 7};
  if (kPerJoint.count(name) != 0) return StateFieldShape{Type::doubles, joints};
  if (kSix.count(name) != 0) return StateFieldShape{Type::doubles, 6};
  if (kMatrix.count(name) != 0) return StateFieldShape{Type::doubles, 16};
  if (kScalar.count(name) != 0) return StateFieldShape{Type::doubles, 1};
  if (kCode.count(name) != 0) return StateFieldShape{Type::byte, 1};
  return std::nullopt;
}

bool StatePacketBuilder::configure(unsigned axes, const std::vector<std::string>& names) {
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> layout{"ts", "errors"};
  layout.insert(layout.end(), sorted.begin(), sorted.end());
  std::size_t size = 0;
  for (const std::string& name : layout) {
    const auto shape = stateFieldShape(name, axes);
    if (!shape) return false;
    size += shape->bytes();
  }
  if (size > kMaxStatePacket) return false;
  axes_ = axes;
  slots_.clear();
  for (const std::string& name : layout) slots_.push_back(stateSampleSlot(name));
  layout_ = std::move(layout);
  packetSize_ = size;
  return true;
}

std::optional<std::size_t> StatePacketBuilder::offsetOf(const std::string& name) const {
  std::size_t offset = 0;
  for (const std::string& field : layout_) {
    if (field == name) return offset;
    offset += stateFieldShape(field, axes_)->bytes();
  }
  return std::nullopt;
}

bool StatePacketBuilder::setDoubles(const std::string& name, const std::vector<double>& values) {
  const auto shape = stateFieldShape(name, axes_);
  if (!shape || shape->type != Type::doubles) return false;
  std::vector<std::uint8_t> bytes(shape->bytes(), 0);
  for (std::size_t i = 0; i < shape->count && i < values.size(); ++i) putDouble(&bytes[8 * i], values[i]);
  fixed_[name] = std::move(bytes);
  return true;
}

bool StatePacketBuilder::setBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const auto shape = stateFieldShape(name, axes_);
  if (!shape) return false;
  std::vector<std::uint8_t> sized(shape->bytes(), 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), sized.size()), sized.begin());
  fixed_[name] = std::move(sized);
  return true;
}

void StatePacketBuilder::build(std::uint64_t seq, std::vector<std::uint8_t>& out) const { build(seq, nullptr, out); }

void StatePacketBuilder::build(const StateSample& sample, std::vector<std::uint8_t>& out) const {
  build(0, &sample, out);
}

void StatePacketBuilder::build(std::uint64_t seq, const StateSample* sample, std::vector<std::uint8_t>& out) const {
  out.assign(packetSize_, 0);
  std::uint8_t* at = out.data();
  for (std::size_t k = 0; k < layout_.size(); ++k) {
    const std::string& name = layout_[k];
    const StateFieldShape shape = *stateFieldShape(name, axes_);
    const auto fixed = fixed_.empty() ? fixed_.end() : fixed_.find(name);
    if (fixed != fixed_.end() && fixed->second.size() == shape.bytes()) {
      std::memcpy(at, fixed->second.data(), shape.bytes());
    } else if (sample) {
      // From a sample: its values where a slot feeds the field, zero elsewhere, never a counter.
      if (shape.type == Type::stamp) putLe64(at, sample->ts);
      if (shape.type == Type::doubles && slots_[k] >= 0) {
        const auto& values = sample->values[static_cast<std::size_t>(slots_[k])];
        for (std::size_t i = 0; i < shape.count; ++i) putDouble(at + 8 * i, values[i]);
      }
    } else if (shape.type == Type::stamp) {
      putLe64(at, seq);
    } else if (shape.type == Type::doubles) {
      for (std::size_t i = 0; i < shape.count; ++i) putDouble(at + 8 * i, static_cast<double>(seq));
    } else if (shape.type == Type::byte) {
      at[0] = static_cast<std::uint8_t>(seq & 0xFF);
    }
    at += shape.bytes();
  }
}

}  // namespace velmora::sim
