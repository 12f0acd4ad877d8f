#pragma once
// A force-control object of a six-axis arm over a link to the test's simulator, whose force
// controller model answers every "eci.fc." key.

#include <velmora/force_control.h>

#include <chrono>
#include <memory>
#include <string>

#include "force_control/force_control_impl.h"
#include "support/command_link.h"
#include "support/json_match.h"
#include "support/sim_fixture.h"
#include "velmora_sim/force_control_model.h"

/// Reaches the condition wait time, which only shows otherwise in log lines and time-outs.
template <unsigned short N>
class ForceControlProbe : public velmora::ForceControl_T<N> {
 public:
  using velmora::ForceControl_T<N>::ForceControl_T;
  std::chrono::nanoseconds conditionWait() const { return this->impl()->conditionWait(); }
};

class ForceControlTest : public SimTest {
 protected:
  ForceControlTest() : link(installThenConnect()), fc(link) {}

  velmora_sim::ForceControlModel controller{6};
  std::shared_ptr<velmora::internal::XService> link;
  ForceControlProbe<6> fc;
  std::error_code ec;

 private:
  std::shared_ptr<velmora::internal::XService> installThenConnect() {
    controller.install(command());
    return connectedLink(address());
  }
};
