#pragma once
// The simulated controller's state stream: UDP packets laid out by StatePacketBuilder, sent to
// a target at a fixed interval from a thread of its own, or one at a time on demand, with
// one-shot faults for tests.

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "velmora_sim/state_layout.h"

namespace velmora::sim {

/// Every operation is safe from any thread.
class StatePublisher {
 public:
  /// Packets leave from `sourceAddress` (a port the system picks) as a controller's leave from
  /// its own address; empty leaves the choice to the system.
  explicit StatePublisher(const std::string& sourceAddress = {});
  ~StatePublisher();
  StatePublisher(const StatePublisher&) = delete;
  StatePublisher& operator=(const StatePublisher&) = delete;

  /// Arm size and field names ("eci.fields.out"); false with nothing changed when refused.
  bool setFields(unsigned axes, const std::vector<std::string>& names);
  /// Same arm size as before.
  bool setFields(const std::vector<std::string>& names);
  unsigned axisCount() const;
  std::size_t packetSize() const;
  /// Offset of `name` in the current layout.
  std::optional<std::size_t> offsetOf(const std::string& name) const;
  /// Where each packet's values come from: `source` fills a sample, called before every packet
  /// with this publisher's lock held (so it must not call back into the publisher); fields it
  /// does not feed are zero. Without a source the builder's packet-number defaults apply.
  void setSource(std::function<void(StateSample&)> source);
  /// Fixed values instead of the per-packet defaults or the source's (see StatePacketBuilder).
  bool setDoubles(const std::string& name, const std::vector<double>& values);
  bool setBytes(const std::string& name, const std::vector<std::uint8_t>& bytes);

  /// Where packets go; false for an address that is not an IP address.
  bool setTarget(const std::string& address, unsigned short port);
  bool hasTarget() const;
  unsigned short targetPort() const;

  /// (Re)starts the stream: one packet now, then one every `interval` (sub-millisecond allowed;
  /// 1 ms when not positive). A late sender catches up on the schedule instead of bursting after
  /// a stall longer than ten intervals.
  void start(std::chrono::nanoseconds interval);
  /// Stops the stream; returns after the last packet has left.
  void stop();
  bool running() const;

  /// Sends one packet now from the calling thread; false without a target or on a send error.
  bool sendNow();
  /// Sends `bytes` as one datagram to the target.
  bool sendRaw(const std::vector<std::uint8_t>& bytes);
  /// Packets sent so far; also the `ts` of the last one when there is no source (defaults count
  /// from 1).
  std::uint64_t sentCount() const;

  /// One-shot faults, applied to the next packet sent:
  /// error flag `flag` (0..19) carried as `byte`;
  void injectErrorFlag(std::size_t flag, std::uint8_t byte = 1);
  /// the packet cut to `bytes`;
  void injectShort(std::size_t bytes);
  /// `extraBytes` bytes of 0xA5 after the packet;
  void injectLong(std::size_t extraBytes);
  /// the packet's bytes replaced by pseudo-random ones from `seed`, same size.
  void injectGarbage(std::uint32_t seed);

 private:
  bool sendLocked();
  void run(std::chrono::nanoseconds interval);
  void stopThread();

  std::mutex control_;  // serialises start and stop, which own the thread
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  StatePacketBuilder builder_;
  asio::io_context io_;
  asio::ip::udp::socket socket_;
  std::optional<asio::ip::udp::endpoint> target_;
  std::function<void(StateSample&)> source_;
  StateSample sample_;
  std::vector<std::uint8_t> packet_;
  std::uint64_t sent_ = 0;
  // Pending one-shot faults.
  std::optional<std::pair<std::size_t, std::uint8_t>> errorFlag_;
  std::optional<std::size_t> cutTo_;
  std::size_t extra_ = 0;
  std::optional<std::uint32_t> garbageSeed_;
  bool stopping_ = true;  // no stream thread running
  std::thread thread_;
};

}  // namespace velmora::sim
