#include <velmora/types.h>

#include <velmora/error.h>
#include <velmora/exception.h>

#include <algorithm>
#include <utility>

namespace velmora {

Frame::Frame(const std::array<double, 3>& trans, const std::array<double, 3>& rpy) : trans(trans), rpy(rpy) {}

Frame::Frame(const std::array<double, 6>& values)
    : trans{values[0], values[1], values[2]}, rpy{values[3], values[4], values[5]} {}

CartesianPosition::CartesianPosition(std::initializer_list<double> values) {
  if (values.size() == 6) {
    std::copy_n(values.begin(), 3, trans.begin());
    std::copy_n(values.begin() + 3, 3, rpy.begin());
  } else if (values.size() == 16) {
    std::copy_n(values.begin(), 16, pos.begin());
  } else {
    throw ArgumentException(internal::messageText(15));
  }
}

JointPosition::JointPosition(std::vector<double> joints) : joints(std::move(joints)) {}

Load::Load(double mass, const std::array<double, 3>& cog, const std::array<double, 3>& inertia)
    : mass(mass), cog(cog), inertia(inertia) {}

WorkToolInfo::WorkToolInfo(std::string name, bool robotHeld, const Frame& pos, const Load& load)
    : name(std::move(name)), robotHeld(robotHeld), pos(pos), load(load) {}

LogInfo::LogInfo(int id, std::string timestamp, std::string logText, std::string repairHint)
    : id(id), timestamp(std::move(timestamp)), logText(std::move(logText)), repairHint(std::move(repairHint)) {}

RLProjectInfo::RLProjectInfo(std::string name) : name(std::move(name)) {}

}  // namespace velmora
