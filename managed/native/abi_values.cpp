#include "native/abi_values.h"

namespace velmora::internal {

Frame frameFromValues(const double* values) {
  Frame frame;
  for (std::size_t i = 0; i < 3; ++i) {
    frame.trans[i] = values[i];
    frame.rpy[i] = values[3 + i];
  }
  return frame;
}

void frameToValues(const Frame& frame, double* values) {
  for (std::size_t i = 0; i < 3; ++i) {
    values[i] = frame.trans[i];
    values[3 + i] = frame.rpy[i];
  }
}

Load loadFromValues(const double* values) {
  Load load;
  load.mass = values[0];
  for (std::size_t i = 0; i < 3; ++i) {
    load.cog[i] = values[1 + i];
    load.inertia[i] = values[4 + i];
  }
  return load;
}

void loadToValues(const Load& load, double* values) {
  values[0] = load.mass;
  for (std::size_t i = 0; i < 3; ++i) {
    values[1 + i] = load.cog[i];
    values[4 + i] = load.inertia[i];
  }
}

Toolset toolsetFromValues(const double* values) {
  Toolset toolset;
  toolset.end = frameFromValues(values);
  toolset.ref = frameFromValues(values + kFrameValues);
  toolset.load = loadFromValues(values + 2 * kFrameValues);
  return toolset;
}

void toolsetToValues(const Toolset& toolset, double* values) {
  frameToValues(toolset.end, values);
  frameToValues(toolset.ref, values + kFrameValues);
  loadToValues(toolset.load, values + 2 * kFrameValues);
}

void calibrationToValues(const FrameCalibrationResult& result, double* values) {
  frameToValues(result.frame, values);
  for (std::size_t i = 0; i < 3; ++i) values[kFrameValues + i] = result.errors[i];
}

void keypadToFlags(const KeyPadState& state, std::uint8_t* flags) {
  const bool keys[kKeypadFlags] = {state.key1_state, state.key2_state, state.key3_state, state.key4_state,
                                   state.key5_state, state.key6_state, state.key7_state};
  for (std::size_t i = 0; i < kKeypadFlags; ++i) flags[i] = keys[i] ? 1 : 0;
}

std::vector<double> valuesOf(const double* values, std::int32_t count) {
  if (values == nullptr || count <= 0) return {};
  return std::vector<double>(values, values + count);
}

}  // namespace velmora::internal
