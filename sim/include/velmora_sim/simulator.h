#pragma once
// The controller simulator: its services on one loopback address, all served by one thread.

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "velmora_sim/command_service.h"
#include "velmora_sim/file_service.h"
#include "velmora_sim/upgrade_service.h"

namespace velmora_sim {

struct SimulatorOptions {
  std::string address = "127.0.0.1";
  std::uint16_t commandPort = 6666;  ///< 0 picks a free port
  std::uint16_t filePort = 7777;     ///< 0 picks a free port
  bool upgradeService = false;       ///< also serve the upgrade service
  std::uint16_t upgradePort = 4567;  ///< 0 picks a free port
};

class Simulator {
 public:
  /// Binds every service (SO_REUSEADDR) and starts serving; throws `std::system_error` when an
  /// address cannot be bound.
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& address() const noexcept { return options_.address; }
  CommandService& command() noexcept { return *command_; }
  FileService& file() noexcept { return *file_; }
  /// Throws `std::logic_error` unless the options asked for the upgrade service.
  UpgradeService& upgrade();

  /// The context every service runs on, for services added beside these.
  asio::io_context& io() noexcept { return io_; }
  /// Runs `fn` on the simulator's thread and waits for it (inline when already there).
  void run(const std::function<void()>& fn);

  /// Closes every service and ends the thread. Idempotent.
  void stop();

 private:
  SimulatorOptions options_;
  asio::io_context io_;
  std::unique_ptr<CommandService> command_;
  std::unique_ptr<FileService> file_;
  std::unique_ptr<UpgradeService> upgrade_;
  std::thread thread_;
};

}  // namespace velmora_sim
