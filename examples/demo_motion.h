#pragma once
// The demo's short motion: a joint move, three linear moves and a wait, queued and started; the
// controller's finish reports are printed as the moveExecution callback hears them.

#include <velmora/base_robot.h>

/// True when every command was reported finished within a few seconds.
bool demoMotion(velmora::BaseRobot& robot);
