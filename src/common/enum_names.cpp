#include "common/enum_names.h"

#include <cstddef>

namespace velmora::internal {
namespace {

// Names indexed by the enumerator's value, starting at 0.
template <typename Enum, std::size_t N>
std::string_view lookup(Enum value, const std::string_view (&names)[N], std::string_view fallback) noexcept {
  const int index = static_cast<int>(value);
  if (index < 0 || static_cast<std::size_t>(index) >= N) return fallback;
  return names[index];
}

constexpr std::string_view kInvalid = "invalid";

}  // namespace

std::string_view enumName(AvoidSingularityMethod value) noexcept {
  static constexpr std::string_view names[] = {"lockAxis4", "wrist", "jointWay"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(MotionControlMode value) noexcept {
  static constexpr std::string_view names[] = {"Idle", "NrtCommand", "NrtRLTask", "RtCommand"};
  return lookup(value, names, "Idle");
}

std::string_view enumName(OperateMode value) noexcept {
  static constexpr std::string_view names[] = {"manual", "auto"};
  return lookup(value, names, "unknown");
}

std::string_view enumName(DragParameter::Space value) noexcept {
  static constexpr std::string_view names[] = {"jointSpace", "cartesianSpace"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(DragParameter::Type value) noexcept {
  static constexpr std::string_view names[] = {"translationOnly", "rotationOnly", "freely"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(JogOpt::Space value) noexcept {
  static constexpr std::string_view names[] = {"world",     "flange",     "baseFrame",        "toolFrame",
                                               "wobjFrame", "jointSpace", "singularityAvoid", "baseParallel"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(StopLevel value) noexcept {
  static constexpr std::string_view names[] = {"stop0", "stop1", "stop2", "suppleStop"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(FlangeboxOpt::Vout value) noexcept {
  static constexpr std::string_view names[] = {"off", "reserve", "12v", "24v"};
  return lookup(value, names, kInvalid);
}

std::string_view enumName(CartesianPosition::Offset::Type value) noexcept {
  static constexpr std::string_view names[] = {"", "offs", "relTool"};
  return lookup(value, names, "");
}

}  // namespace velmora::internal
