#pragma once
// Marks the thread running a link's handlers, so that a callback calling back into its own link
// is recognised: it must never wait for a callback to end, since that callback is itself.

namespace velmora::internal {

class Dispatching {
 public:
  explicit Dispatching(const void* link) noexcept : saved_(current_) { current_ = link; }
  ~Dispatching() { current_ = saved_; }
  Dispatching(const Dispatching&) = delete;
  Dispatching& operator=(const Dispatching&) = delete;

  /// The link whose handler runs on this thread, or null.
  static const void* current() noexcept { return current_; }

 private:
  static inline thread_local const void* current_ = nullptr;
  const void* saved_;
};

}  // namespace velmora::internal
