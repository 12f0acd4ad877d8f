#pragma once
// The instances of `BaseRobot`'s member templates that the library provides; there are no
// others, so any other type fails to link.

#include <cstdint>
#include <string>
#include <vector>

#include <velmora/base_robot.h>

namespace velmora {

#define VELMORA_EXTERN_EXECUTE(T)                                                                      \
  extern template void BaseRobot::executeCommand<T>(const std::vector<T>&, std::error_code&) noexcept; \
  extern template void BaseRobot::moveAppend<T>(const std::vector<T>&, std::string&, std::error_code&) noexcept;
VELMORA_EXTERN_EXECUTE(MoveAbsJCommand)
VELMORA_EXTERN_EXECUTE(MoveJCommand)
VELMORA_EXTERN_EXECUTE(MoveLCommand)
VELMORA_EXTERN_EXECUTE(MoveCCommand)
VELMORA_EXTERN_EXECUTE(MoveCFCommand)
VELMORA_EXTERN_EXECUTE(MoveSPCommand)
#undef VELMORA_EXTERN_EXECUTE

#define VELMORA_EXTERN_REGISTER(T)                                                                              \
  extern template void BaseRobot::readRegister<T>(const std::string&, unsigned, T&, std::error_code&) noexcept; \
  extern template void BaseRobot::writeRegister<T>(const std::string&, unsigned, T, std::error_code&) noexcept;
VELMORA_EXTERN_REGISTER(int)
VELMORA_EXTERN_REGISTER(float)
VELMORA_EXTERN_REGISTER(bool)
VELMORA_EXTERN_REGISTER(std::vector<int>)
VELMORA_EXTERN_REGISTER(std::vector<float>)
VELMORA_EXTERN_REGISTER(std::vector<bool>)
#undef VELMORA_EXTERN_REGISTER

extern template int BaseRobot::getStateData<double>(const std::string&, double&);
extern template int BaseRobot::getStateData<std::uint64_t>(const std::string&, std::uint64_t&);
extern template int BaseRobot::getStateData<std::vector<double>>(const std::string&, std::vector<double>&);

#define VELMORA_EXTERN_EXT_AXIS(T)                                                              \
  extern template void BaseRobot::getExtAxisInfo<T>(const std::string&, const std::string&, T&, \
                                                    std::error_code&) noexcept;
VELMORA_EXTERN_EXT_AXIS(int)
VELMORA_EXTERN_EXT_AXIS(double)
VELMORA_EXTERN_EXT_AXIS(bool)
VELMORA_EXTERN_EXT_AXIS(std::string)
VELMORA_EXTERN_EXT_AXIS(std::vector<std::string>)
#undef VELMORA_EXTERN_EXT_AXIS

#define VELMORA_EXTERN_MECH_UNIT(T) \
  extern template void BaseRobot::getMechUnit<T>(const std::string&, const std::string&, T&, std::error_code&) noexcept;
VELMORA_EXTERN_MECH_UNIT(int)
VELMORA_EXTERN_MECH_UNIT(bool)
VELMORA_EXTERN_MECH_UNIT(std::vector<std::string>)
#undef VELMORA_EXTERN_MECH_UNIT

#define VELMORA_EXTERN_RAIL(T)                                                                            \
  extern template void BaseRobot::getRailParameter<T>(const std::string&, T&, std::error_code&) noexcept; \
  extern template void BaseRobot::setRailParameter<T>(const std::string&, T, std::error_code&) noexcept;
VELMORA_EXTERN_RAIL(int)
VELMORA_EXTERN_RAIL(double)
VELMORA_EXTERN_RAIL(bool)
VELMORA_EXTERN_RAIL(std::string)
VELMORA_EXTERN_RAIL(std::vector<double>)
VELMORA_EXTERN_RAIL(Frame)
#undef VELMORA_EXTERN_RAIL

}  // namespace velmora
