#include "velmora_sim/state_publisher.h"

#include <asio/buffer.hpp>
#include <asio/ip/address.hpp>

#include <random>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace velmora::sim {

StatePublisher::StatePublisher(const std::string& sourceAddress) : socket_(io_) {
  std::error_code ignored;
  socket_.open(asio::ip::udp::v4(), ignored);
  // The library takes the stream only from the controller's address; on loopback the system
  // would otherwise send from 127.0.0.1 whatever address the simulator serves on.
  if (sourceAddress.empty()) return;
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(sourceAddress, ec);
  if (!ec) socket_.bind(asio::ip::udp::endpoint(address, 0), ignored);
}

StatePublisher::~StatePublisher() { stop(); }

bool StatePublisher::setFields(unsigned axes, const std::vector<std::string>& names) {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.configure(axes, names);
}

bool StatePublisher::setFields(const std::vector<std::string>& names) {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.configure(builder_.axes(), names);
}

unsigned StatePublisher::axisCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.axes();
}

std::size_t StatePublisher::packetSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.packetSize();
}

std::optional<std::size_t> StatePublisher::offsetOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.offsetOf(name);
}

bool StatePublisher::setDoubles(const std::string& name, const std::vector<double>& values) {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.setDoubles(name, values);
}

void StatePublisher::setSource(std::function<void(StateSample&)> source) {
  std::lock_guard<std::mutex> lock(mutex_);
  source_ = std::move(source);
}

bool StatePublisher::setBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  return builder_.setBytes(name, bytes);
}

bool StatePublisher::setTarget(const std::string& address, unsigned short port) {
  std::error_code ec;
  const asio::ip::address ip = asio::ip::make_address(address, ec);
  if (ec) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  target_ = asio::ip::udp::endpoint(ip, port);
  return true;
}

bool StatePublisher::hasTarget() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return target_.has_value();
}

unsigned short StatePublisher::targetPort() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return target_ ? target_->port() : 0;
}

void StatePublisher::start(std::chrono::nanoseconds interval) {
  std::lock_guard<std::mutex> control(control_);
  stopThread();
  if (interval <= std::chrono::nanoseconds::zero()) interval = std::chrono::milliseconds(1);
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
  thread_ = std::thread([this, interval] { run(interval); });
}

void StatePublisher::stop() {
  std::lock_guard<std::mutex> control(control_);
  stopThread();
}

void StatePublisher::stopThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool StatePublisher::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !stopping_;
}

void StatePublisher::run(std::chrono::nanoseconds interval) {
#ifdef __linux__
  // The default 50 us timer slack would cap the stream well below 8 kHz.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  using Clock = std::chrono::steady_clock;
  Clock::time_point next = Clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    sendLocked();
    next += interval;
    const Clock::time_point now = Clock::now();
    if (now - next > 10 * interval) next = now;
    wake_.wait_until(lock, next, [this] { return stopping_; });
  }
}

bool StatePublisher::sendNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sendLocked();
}

bool StatePublisher::sendRaw(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!target_) return false;
  std::error_code ec;
  socket_.send_to(asio::buffer(bytes), *target_, 0, ec);
  return !ec;
}

std::uint64_t StatePublisher::sentCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

void StatePublisher::injectErrorFlag(std::size_t flag, std::uint8_t byte) {
  std::lock_guard<std::mutex> lock(mutex_);
  errorFlag_ = std::make_pair(flag, byte);
}

void StatePublisher::injectShort(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  cutTo_ = bytes;
}

void StatePublisher::injectLong(std::size_t extraBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  extra_ = extraBytes;
}

void StatePublisher::injectGarbage(std::uint32_t seed) {
  std::lock_guard<std::mutex> lock(mutex_);
  garbageSeed_ = seed;
}

bool StatePublisher::sendLocked() {
  if (!target_) return false;
  ++sent_;
  if (source_) {
    sample_ = StateSample{};
    source_(sample_);
    builder_.build(sample_, packet_);
  } else {
    builder_.build(sent_, packet_);
  }
  if (errorFlag_) {
    const auto offset = builder_.offsetOf("errors");
    if (offset && errorFlag_->first < 20) packet_[*offset + errorFlag_->first] = errorFlag_->second;
    errorFlag_.reset();
  }
  if (garbageSeed_) {
    std::minstd_rand random(*garbageSeed_);
    for (std::uint8_t& byte : packet_) byte = static_cast<std::uint8_t>(random() >> 8);
    garbageSeed_.reset();
  }
  if (cutTo_) {
    if (*cutTo_ < packet_.size()) packet_.resize(*cutTo_);
    cutTo_.reset();
  }
  if (extra_ != 0) {
    packet_.insert(packet_.end(), extra_, 0xA5);
    extra_ = 0;
  }
  std::error_code ec;
  socket_.send_to(asio::buffer(packet_), *target_, 0, ec);
  return !ec;
}

}  // namespace velmora::sim
