#include "velmora_sim/simulator.h"

#include <asio/executor_work_guard.hpp>

#include <iostream>
#include <stdexcept>

#include "tcp_server.h"

namespace velmora_sim {

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)),
      command_(std::make_unique<CommandService>(io_, options_.address, options_.commandPort)),
      file_(std::make_unique<FileService>(io_, options_.address, options_.filePort)),
      upgrade_(options_.upgradeService
                   ? std::make_unique<UpgradeService>(io_, options_.address, options_.upgradePort)
                   : nullptr) {
  thread_ = std::thread([this] {
    auto work = asio::make_work_guard(io_);
    for (;;) {
      try {
        io_.run();
        break;
      } catch (const std::exception& e) {
        std::cerr << "velmora-sim: " << e.what() << '\n';
      }
    }
  });
}

Simulator::~Simulator() { stop(); }

UpgradeService& Simulator::upgrade() {
  if (!upgrade_) throw std::logic_error("the simulator serves no upgrade service");
  return *upgrade_;
}

void Simulator::run(const std::function<void()>& fn) { detail::runOnIo(io_, fn); }

void Simulator::stop() {
  if (!thread_.joinable()) return;
  try {
    run([this] {
      command_->closeAll();
      file_->closeAll();
      if (upgrade_) upgrade_->closeAll();
    });
  } catch (const std::exception& e) {
    std::cerr << "velmora-sim: " << e.what() << '\n';
  }
  io_.stop();
  thread_.join();
}

}  // namespace velmora_sim
