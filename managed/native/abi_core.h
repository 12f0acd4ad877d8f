#pragma once
// What every export of the flat C interface shares: the count of live handles, native-owned
// buffers, the text of the last exception per thread and the guard that turns every C++
// exception into a status.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>

#include "native/velmora_c.h"

namespace velmora::internal {

/// Base of every object handed to the managed layer as a handle. The count lets a test prove
/// that nothing leaked and nothing was freed twice.
class LiveHandle {
 public:
  static std::int64_t live() noexcept;

 protected:
  LiveHandle() noexcept;
  LiveHandle(const LiveHandle&) noexcept;
  LiveHandle& operator=(const LiveHandle&) noexcept = default;
  ~LiveHandle();
};

/// Text that the guard keeps for an exception that is not a std::exception.
inline constexpr const char* kUnknownException = "unknown exception";

/// Keeps the text for vel_take_last_exception on this thread; on allocation failure the kept
/// text is empty.
void setLastException(const char* text) noexcept;

/// Runs an export's body: VEL_OK, or the status of what it threw with the text kept.
template <class Body>
std::int32_t abiCall(Body&& body) noexcept {
  try {
    body();
    return VEL_OK;
  } catch (const std::exception& e) {
    setLastException(e.what());
    return VEL_STD_EXCEPTION;
  } catch (...) {
    setLastException(kUnknownException);
    return VEL_UNKNOWN_EXCEPTION;
  }
}

/// A pointer argument the export cannot do without; a null one is refused with a
/// std::invalid_argument naming it.
template <class T>
T& required(T* pointer, const char* name) {
  if (pointer == nullptr) throw std::invalid_argument(std::string("null argument: ") + name);
  return *pointer;
}

/// A new buffer owning `bytes`, stored in `*out`.
void putBuffer(vel_buf** out, std::string bytes);

/// UTF-8 text from the managed side; null is the empty text.
std::string textArg(const char* text);

/// The crossing form of an error code. A code of a category the managed side cannot name keeps
/// its message for the next vel_error_message(VEL_CATEGORY_OTHER) on this thread.
vel_err toVelErr(const std::error_code& ec) noexcept;

/// The message of a crossed error code in the language in force now.
std::string errorMessage(std::int32_t value, std::int32_t category);

}  // namespace velmora::internal

/// A buffer handle: exact bytes, NUL bytes included.
struct vel_buf final : velmora::internal::LiveHandle {
  std::string bytes;
};
