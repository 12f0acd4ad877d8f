#pragma once
// The state-stream part of the demo.

#include <velmora/robot_t.h>

/// Subscribes to the joint positions ("q_m") and the flange pose ("pos_m") at 1 ms, takes the
/// datagrams in for one second, stops the stream and prints the packet count and the last
/// values. Returns 0, or 1 after printing the stream's failure. For the arms that stream
/// (<1,5>, <1,6>, <1,7>, <0,6>).
template <int W, unsigned short N>
int runStateStreamDemo(velmora::Robot_T<W, N>& robot);
