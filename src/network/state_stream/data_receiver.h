#pragma once
// Receiver of the controller's state stream: turns each datagram into the latest value of every
// subscribed field. It has no thread; the caller's thread receives.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "network/state_stream/rt_packet.h"
#include "network/state_stream/udp_service.h"
#include "network/xservice/link_options.h"

namespace velmora::internal {

/// Thread safety: `isOpen`, `port`, `isReceiving`, `fieldSet`, `packetSize`, `fieldOrder`,
/// `readField` and `close` from any thread, at any time (a `close` wakes a blocked receive); the
/// others (set-up, open, receive) from one thread at a time.
class DataReceiver : public UdpService {
 public:
  /// `firstPacketWait` bounds the wait for the first packet after a start (the link options'
  /// default, 3 s, unless given).
  explicit DataReceiver(std::chrono::nanoseconds firstPacketWait = LinkOptions().firstPacketWait);
  ~DataReceiver() override;

  /// Closes the socket and clears the receiving flag; a receive blocked on another thread
  /// returns 0 at once.
  void close() override;

  /// Subscribes to `requested` (plus `ts` and `errors`, which lead every packet) from the state
  /// table for `axisCount`. Returns 0, or -1 with nothing changed when a name is not in the
  /// table or the packet would exceed 1052 bytes. The new recipe replaces the old one whole
  /// under the lock, so readers see one or the other; its values start at zero.
  int setRecipe(const std::set<std::string>& requested, std::uint16_t axisCount);

  /// The names of the current subscription (without the two leading ones).
  std::set<std::string> fieldSet() const;
  std::size_t packetSize() const;
  std::vector<std::string> fieldOrder() const;

  /// Whether a datagram has come since the last start (and the stream was not marked stopped).
  bool isReceiving() const noexcept { return receiving_.load(std::memory_order_acquire); }

  /// The stream was asked of the controller again (after a reconnection): unless a datagram
  /// that arrived after this call is taken by `deadline`, the first `receive` that finds none
  /// after it marks the stream stopped. A later call moves the deadline. Any thread.
  void expectBy(std::chrono::steady_clock::time_point deadline) noexcept;
  /// Clears the receiving flag, the socket left as it is: the stream cannot come back by
  /// itself, and a new start must be possible. Any thread.
  void markStopped() noexcept;

  /// Takes one datagram within `timeout` and decodes it when it holds at least a packet (the
  /// first packet-size bytes; the rest is ignored); returns its length, 0 when none came
  /// (the stream may then have been marked stopped, see `expectBy`).
  /// Throws RealtimeMotionException for a set error flag (then only `ts` and `errors` change).
  std::size_t receive(std::chrono::nanoseconds timeout);

  /// The first datagram after a start, within the first-packet wait: decodes it as `receive`
  /// does and sets the receiving flag. Throws RealtimeStateException (message 8) when none came;
  /// decoding errors pass through and leave the flag clear.
  void receiveFirst();

  /// Decodes a datagram of `size` bytes as `receive` does after receiving it: nothing when it is
  /// shorter than the packet. Throws RealtimeMotionException for an error flag and
  /// RealtimeControlException (message 9 and the reason) for an unreadable packet.
  void decode(const std::uint8_t* packet, std::size_t size);

  /// Copies the latest value of `name` when it is subscribed and its value is a `T`
  /// (one of the alternatives of RtFieldValue).
  template <typename T>
  bool readField(const std::string& name, T& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = recipe_->fields.find(name);
    if (found == recipe_->fields.end()) return false;
    const T* value = std::get_if<T>(&found->second);
    if (value == nullptr) return false;
    out = *value;
    return true;
  }

  /// Appends the values of an array-of-doubles field (5, 6, 7 or 16 values); false, with `out`
  /// untouched, for a missing name or any other kind.
  bool readField(const std::string& name, std::vector<double>& out) const;

 private:
  void parse(const std::uint8_t* packet);

  const std::chrono::nanoseconds firstPacketWait_;
  std::atomic<bool> receiving_{false};
  // Steady-clock ticks by which a datagram must come; 0 while none is awaited.
  std::atomic<std::chrono::steady_clock::rep> expectedBy_{0};
  // Wall-clock ticks of the last `expectBy` (the clock of the arrival stamps): datagrams that
  // arrived earlier do not count.
  std::atomic<std::chrono::system_clock::rep> askedAt_{0};
  mutable std::mutex mutex_;
  std::unique_ptr<RtRecipe> recipe_;  // never null; replaced whole under mutex_
  std::array<std::uint8_t, kReceiveSize> buffer_{};
};

}  // namespace velmora::internal
