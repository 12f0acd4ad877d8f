#include "network/state_stream/data_receiver.h"

#include <velmora/error.h>
#include <velmora/exception.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "common/globals.h"
#include "common/logging.h"

namespace velmora::internal {

static_assert(UdpService::kReceiveSize == kMaxRtPacketSize);

DataReceiver::DataReceiver(std::chrono::nanoseconds firstPacketWait)
    : firstPacketWait_(firstPacketWait), recipe_(std::make_unique<RtRecipe>()) {}

DataReceiver::~DataReceiver() {
  closeSocket();
  receiving_.store(false, std::memory_order_release);
}

void DataReceiver::close() {
  UdpService::close();
  markStopped();
}

void DataReceiver::expectBy(std::chrono::steady_clock::time_point deadline) noexcept {
  askedAt_.store(std::chrono::system_clock::now().time_since_epoch().count(), std::memory_order_release);
  // Never 0, which means "nothing awaited".
  expectedBy_.store(std::max<std::chrono::steady_clock::rep>(deadline.time_since_epoch().count(), 1),
                    std::memory_order_release);
}

void DataReceiver::markStopped() noexcept {
  expectedBy_.store(0, std::memory_order_release);
  receiving_.store(false, std::memory_order_release);
}

int DataReceiver::setRecipe(const std::set<std::string>& requested, std::uint16_t axisCount) {
  // Built aside and swapped in whole: a reader on another thread never meets a half-replaced
  // table, and the old one is freed after the lock is released.
  std::unique_ptr<RtRecipe> next = makeRtRecipe(requested, axisCount);
  if (!next) return -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    recipe_.swap(next);
  }
  return 0;
}

std::set<std::string> DataReceiver::fieldSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recipe_->requested;
}

std::size_t DataReceiver::packetSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recipe_->packetSize;
}

std::vector<std::string> DataReceiver::fieldOrder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recipe_->order;
}

std::size_t DataReceiver::receive(std::chrono::nanoseconds timeout) {
  const std::size_t received = UdpService::receive(buffer_.data(), timeout);
  auto expected = expectedBy_.load(std::memory_order_acquire);
  // Compared and swapped: a deadline set meanwhile by another reconnection must stand.
  if (expected != 0) {
    if (received != 0) {
      // A datagram queued before the stream was asked for again (the controller restarted
      // meanwhile) is no sign that it is back.
      const std::chrono::system_clock::duration askedAt(askedAt_.load(std::memory_order_acquire));
      if (arrivedSince(std::chrono::system_clock::time_point(askedAt))) {
        expectedBy_.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
      }
    } else if (std::chrono::steady_clock::now().time_since_epoch().count() >= expected &&
               expectedBy_.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) {
      // Asked for again and still silent: zeros for ever would pass for a stream.
      receiving_.store(false, std::memory_order_release);
      try {
        globalLogger()->warn("uid: {} | state stream: no datagram since it was asked for again, marked stopped",
                             logUid);
      } catch (...) {
      }
    }
  }
  decode(buffer_.data(), received);
  return received;
}

void DataReceiver::receiveFirst() {
  expectedBy_.store(0, std::memory_order_release);
  if (receive(firstPacketWait_) == 0) throw RealtimeStateException(messageText(8));
  receiving_.store(true, std::memory_order_release);
}

void DataReceiver::decode(const std::uint8_t* packet, std::size_t size) {
  // Only this object's set-up thread replaces the recipe, so reading the size here is safe.
  if (size < recipe_->packetSize) return;
  parse(packet);
}

void DataReceiver::parse(const std::uint8_t* packet) {
  std::unique_lock<std::mutex> lock(mutex_);
  try {
    decodeRtPacket(*recipe_, packet, recipe_->packetSize);
  } catch (const RealtimeControlException&) {
    throw;
  } catch (const std::runtime_error& e) {
    lock.unlock();
    throw RealtimeControlException(std::string(messageText(9)) + e.what());
  }
}

bool DataReceiver::readField(const std::string& name, std::vector<double>& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = recipe_->fields.find(name);
  if (found == recipe_->fields.end()) return false;
  return std::visit(
      [&out](const auto& value) {
        using V = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::array<double, 5>> || std::is_same_v<V, std::array<double, 6>> ||
                      std::is_same_v<V, std::array<double, 7>> || std::is_same_v<V, std::array<double, 16>>) {
          out.insert(out.end(), value.begin(), value.end());
          return true;
        } else {
          return false;
        }
      },
      found->second);
}

}  // namespace velmora::internal
