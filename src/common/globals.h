#pragma once
// Process-wide values shared by every layer: the log uid and a few fixed names.

#include <fmt/format.h>

#include <mutex>
#include <string>

namespace velmora::internal {

/// The uid printed at the start of every log line. Replaced at each connection while other
/// threads format log lines, so it is read and written under a lock; formatting copies it.
class LogUid {
 public:
  explicit LogUid(std::string initial) : value_(std::move(initial)) {}
  void set(std::string value) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_ = std::move(value);
  }
  std::string get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};

/// "default_uid" until a robot connects, then the shortened controller id.
extern LogUid logUid;
/// Prefix of every force-control command key.
extern const std::string fcCommandPrefix;
/// Package name the upgrade client writes into its package frame.
extern const std::string upgradePackageName;

}  // namespace velmora::internal

template <>
struct fmt::formatter<velmora::internal::LogUid> : fmt::formatter<fmt::string_view> {
  template <typename FormatContext>
  auto format(const velmora::internal::LogUid& uid, FormatContext& ctx) const -> decltype(ctx.out()) {
    const std::string copy = uid.get();
    return fmt::formatter<fmt::string_view>::format(fmt::string_view(copy), ctx);
  }
};
