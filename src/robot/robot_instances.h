#pragma once
// The class template instances of the robot family, for the files that instantiate members.
//
// Rules (the public headers declare every instance `extern template`, so the compiler never
// instantiates one implicitly in a caller):
// - robot_t.cpp, cobot.cpp and industrial_robot.cpp hold the only `template class ...;` lines.
//   Such a line instantiates the members defined in its own file: constructors, destructor,
//   connection.
// - Any other file defines its members out of line in the .cpp and instantiates exactly those,
//   one member at a time, for every instance:
//     template <int W, unsigned short N>
//     std::array<double, N> Robot_T<W, N>::jointTorque(std::error_code& ec) noexcept { ... }
//     #define VELMORA_INSTANTIATE(W, N) template std::array<double, N>
//         Robot_T<W, N>::jointTorque(std::error_code&) noexcept;      (one line)
//     VELMORA_FOR_EACH_ROBOT_T(VELMORA_INSTANTIATE)
//     #undef VELMORA_INSTANTIATE
//   Never a second `template class` line for the same instance (that would instantiate the
//   members twice) and never a member defined in a header.
// - Members of `BaseRobot`, `BaseCobot` and the concrete classes are ordinary functions.

/// Applies `X(W, N)` to every `Robot_T<W, N>` instance.
#define VELMORA_FOR_EACH_ROBOT_T(X) X(1, 5) X(1, 6) X(1, 7) X(0, 3) X(0, 4) X(0, 6)
/// The `Robot_T` instances that have the state stream (every one but the 3- and 4-axis arms).
#define VELMORA_FOR_EACH_STREAMING_ROBOT_T(X) X(1, 5) X(1, 6) X(1, 7) X(0, 6)
/// Applies `X(N)` to every `Cobot<N>` instance.
#define VELMORA_FOR_EACH_COBOT(X) X(5) X(6) X(7)
/// Applies `X(N)` to every `IndustrialRobot<N>` instance.
#define VELMORA_FOR_EACH_INDUSTRIAL(X) X(3) X(4) X(6)
