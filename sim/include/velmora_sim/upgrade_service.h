#pragma once
// The simulated upgrade service (TCP 4567): takes package frames and checks their MD5, answers
// JSON requests (backup exports), and sends its answers in records, all scripted per test:
// which replies, in which order, in records of which size, in how many writes, and whether the
// connection closes afterwards.

#include <json/value.h>
#include <asio/io_context.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora_sim/connection.h"
#include "velmora_sim/upgrade_wire.h"

namespace velmora_sim {

/// A frame the service received.
struct UpgradeFrame {
  int connection = 0;
  std::uint8_t type = 0;
  std::uint8_t reserved = 0;  ///< the byte after the type
  std::string payload;
  Json::Value json;  ///< JSON frames: the payload parsed (null when it is not JSON)
  // Package frames (type 1) whose payload holds its header:
  std::string digest;  ///< the 16 MD5 bytes the client sent
  std::string name;
  std::size_t fileOffset = 0;
  bool digestMatches = false;
  std::chrono::steady_clock::time_point time;

  /// The file bytes of a package frame.
  std::string_view file() const { return std::string_view(payload).substr(fileOffset); }
};

/// What the service writes back: writes in order, each after its delay.
class UpgradeReply {
 public:
  struct Write {
    std::string bytes;
    std::chrono::milliseconds delay{0};
    bool close = false;  ///< close the connection once this write has left
  };

  /// `bytes` (whole frames, or any bytes) cut into records of `recordSize`, in the current write.
  UpgradeReply& records(std::string_view bytes, std::size_t recordSize = kMaxRecordBody);
  /// One JSON frame in one record, in the current write.
  UpgradeReply& json(const Json::Value& message);
  /// Bytes exactly as given, in the current write.
  UpgradeReply& raw(std::string_view bytes);
  /// What follows goes in a new write, `delay` after the previous one.
  UpgradeReply& pause(std::chrono::milliseconds delay);
  /// Closes the connection after the writes so far; nothing after this is sent.
  UpgradeReply& close();

  const std::vector<Write>& writes() const noexcept { return writes_; }

 private:
  Write& current();
  std::vector<Write> writes_;
};

class UpgradeService {
 public:
  /// Gives the answer to a received frame; runs on the simulator's thread.
  using Responder = std::function<UpgradeReply(const UpgradeFrame& received)>;

  UpgradeService(asio::io_context& io, const std::string& address, std::uint16_t port);
  ~UpgradeService();
  UpgradeService(const UpgradeService&) = delete;
  UpgradeService& operator=(const UpgradeService&) = delete;

  std::uint16_t port() const noexcept;

  /// How package frames (type 1) and other frames are answered; an empty responder restores
  /// the default (`packageReply`, and for an export request `exportReply` then the backup).
  void onPackage(Responder responder);
  void onRequest(Responder responder);
  /// The file the default export answer sends.
  void setBackupFile(std::string file);

  /// A package with the right MD5: {"s":{"file_transfer":true}} then {"upgrade":"ok"}, each in
  /// its own record; a wrong MD5: {"s":{"file_transfer":false}} only.
  static UpgradeReply packageReply(const UpgradeFrame& package);
  /// {"reply":"export","result":{...}}: "ok" for each named item, and "size":"ok".
  static Json::Value exportReply(const Json::Value& request);
  /// A backup frame of `file` with its MD5, named "backup.zip".
  static std::string backupFrame(std::string_view file);

  std::vector<UpgradeFrame> received() const;
  /// The `nth` frame received (from 1), waiting up to `timeout`.
  std::optional<UpgradeFrame> waitForFrame(std::size_t nth, std::chrono::milliseconds timeout) const;
  /// A long-running simulator keeps no record of what it received.
  void setRecording(bool enabled);

  void refuse(bool refused);
  void dropConnections();
  int acceptCount() const noexcept;
  int openConnections() const noexcept;
  bool waitForOpenConnections(int n, std::chrono::milliseconds timeout) const;
  std::shared_ptr<Connection> latestConnection() const;
  void closeAll();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace velmora_sim
