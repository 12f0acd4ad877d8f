#pragma once
// What the managed side reads back from the flat interface, taken the same way in the tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "native/abi_core.h"
#include "testsim/velmora_testsim.h"

namespace velmora::internal {

/// The kept text of the last failed export on this thread; "<none>" when there is none.
inline std::string takeLastException() {
  vel_buf* text = nullptr;
  EXPECT_EQ(vel_take_last_exception(&text), VEL_OK);
  if (text == nullptr) return "<none>";
  std::string result = text->bytes;
  EXPECT_EQ(vel_buf_free(text), VEL_OK);
  return result;
}

/// Native objects handed out and not yet destroyed.
inline std::int64_t liveHandles() {
  std::int64_t count = -1;
  EXPECT_EQ(vts_live_handles(&count), VEL_OK);
  return count;
}

}  // namespace velmora::internal
