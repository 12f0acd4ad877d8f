#pragma once
// Industrial arms. Operation conventions are those of `BaseRobot`.

#include <velmora/export.h>
#include <velmora/robot_t.h>

namespace velmora {

/// An industrial arm with `N` joints (3, 4 or 6); adds no operation of its own.
template <unsigned short N>
class VELMORA_API IndustrialRobot : public Robot_T<0, N> {
 public:
  ~IndustrialRobot() override;

 protected:
  IndustrialRobot();
};

extern template class IndustrialRobot<3>;
extern template class IndustrialRobot<4>;
extern template class IndustrialRobot<6>;

}  // namespace velmora
