#include "robot/frame_reads.h"

#include "common/json_read.h"

namespace velmora::internal {

bool readTriple(const Json::Value& array, std::array<double, 3>& out) noexcept {
  if (!array.isArray() || array.size() < 3) return false;
  std::array<double, 3> values{};
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    const Json::Value& item = array[i];
    if (!item.isNumeric()) return false;
    values[i] = item.asDouble();
  }
  out = values;
  return true;
}

bool readWholeFrame(const Json::Value& value, Frame& out) noexcept {
  Frame frame;
  if (!readTriple(member(value, "trans"), frame.trans) || !readTriple(member(value, "rot"), frame.rpy)) {
    return false;
  }
  out = frame;
  return true;
}

bool readWholeToolset(const Json::Value& value, Toolset& out) noexcept {
  Toolset toolset;
  const Json::Value& load = member(value, "load");
  const Json::Value& mass = member(load, "mass");
  if (!mass.isNumeric() || !readTriple(member(load, "cog"), toolset.load.cog) ||
      !readTriple(member(load, "inertia"), toolset.load.inertia) ||
      !readWholeFrame(member(value, "end"), toolset.end) || !readWholeFrame(member(value, "ref"), toolset.ref)) {
    return false;
  }
  toolset.load.mass = mass.asDouble();
  out = toolset;
  return true;
}

}  // namespace velmora::internal
