#include "native/abi_core.h"

#include <velmora/error.h>
#include <velmora/version.h>

#include <atomic>
#include <memory>
#include <utility>

namespace velmora::internal {

namespace {

std::atomic<std::int64_t> liveHandles{0};

// Per thread: the managed side takes the text right after the failing call, on the same thread,
// so concurrent calls never see each other's text.
thread_local std::string lastException;
thread_local bool hasLastException = false;
thread_local std::string otherCategoryMessage;

}  // namespace

LiveHandle::LiveHandle() noexcept { liveHandles.fetch_add(1, std::memory_order_relaxed); }

LiveHandle::LiveHandle(const LiveHandle&) noexcept { liveHandles.fetch_add(1, std::memory_order_relaxed); }

LiveHandle::~LiveHandle() { liveHandles.fetch_sub(1, std::memory_order_relaxed); }

std::int64_t LiveHandle::live() noexcept { return liveHandles.load(std::memory_order_relaxed); }

void setLastException(const char* text) noexcept {
  hasLastException = true;
  try {
    lastException = text != nullptr ? text : "";
  } catch (...) {
    lastException.clear();
  }
}

void putBuffer(vel_buf** out, std::string bytes) {
  auto& slot = required(out, "out");
  auto buffer = std::make_unique<vel_buf>();
  buffer->bytes = std::move(bytes);
  slot = buffer.release();
}

std::string textArg(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

vel_err toVelErr(const std::error_code& ec) noexcept {
  const std::error_category& category = ec.category();
  if (category == apiErrorCategory()) return {ec.value(), VEL_CATEGORY_SDK};
  if (category == std::system_category()) return {ec.value(), VEL_CATEGORY_SYSTEM};
  if (category == std::generic_category()) return {ec.value(), VEL_CATEGORY_GENERIC};
  try {
    otherCategoryMessage = ec.message();
  } catch (...) {
    otherCategoryMessage.clear();
  }
  return {ec.value(), VEL_CATEGORY_OTHER};
}

std::string errorMessage(std::int32_t value, std::int32_t category) {
  switch (category) {
    case VEL_CATEGORY_SDK:
      return apiErrorCategory().message(value);
    case VEL_CATEGORY_SYSTEM:
      return std::system_category().message(value);
    case VEL_CATEGORY_GENERIC:
      return std::generic_category().message(value);
    case VEL_CATEGORY_OTHER:
      return otherCategoryMessage;
    default:
      throw std::invalid_argument("unknown error category " + std::to_string(category));
  }
}

}  // namespace velmora::internal

using namespace velmora::internal;

extern "C" {

int32_t vel_buf_view(const vel_buf* buf, const uint8_t** data, int64_t* length) noexcept {
  return abiCall([&] {
    const vel_buf& b = required(buf, "buf");
    required(data, "data") = reinterpret_cast<const uint8_t*>(b.bytes.data());
    required(length, "length") = static_cast<int64_t>(b.bytes.size());
  });
}

int32_t vel_buf_free(vel_buf* buf) noexcept {
  return abiCall([&] { delete buf; });
}

int32_t vel_take_last_exception(vel_buf** text) noexcept {
  return abiCall([&] {
    required(text, "text") = nullptr;
    if (!hasLastException) return;
    putBuffer(text, std::move(lastException));
    lastException.clear();
    hasLastException = false;
  });
}

int32_t vel_error_message(int32_t value, int32_t category, vel_buf** text) noexcept {
  return abiCall([&] { putBuffer(text, errorMessage(value, category)); });
}

int32_t vel_sdk_version(vel_buf** text) noexcept {
  return abiCall([&] { putBuffer(text, velmora::internal::sdkVersionInfo().shortString()); });
}

}  // extern "C"
