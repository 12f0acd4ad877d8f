#pragma once
// The demo's short motion: a joint move, three linear moves and a wait, queued and started.
// While the arm moves, the state stream's joints ("q_m") and flange position ("pos_m") are
// sampled and printed; then the controller's finish reports, as the moveExecution callback
// heard them, with their times since `moveStart`.

#include <velmora/robot_t.h>

/// True when every command was reported finished in time. For the arms that stream (<1,5>,
/// <1,6>, <1,7>, <0,6>).
template <int W, unsigned short N>
bool demoMotion(velmora::Robot_T<W, N>& robot);
