#pragma once
// The simulated file service (TCP 7777): a byte sink that takes each announced transfer's raw
// bytes and answers with a scripted verdict, {"f":"success"} or {"f":"error"} and a carriage
// return.

#include <asio/io_context.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "velmora_sim/connection.h"

namespace velmora_sim {

/// What the file service answers once a transfer's bytes are in.
struct Verdict {
  static Verdict success() { return text("success"); }
  static Verdict error() { return text("error"); }
  /// {"f":<f>}; any text, also one the library does not know.
  static Verdict text(std::string f);
  static Verdict silent();
  /// Close the connection instead of answering.
  static Verdict close();
  Verdict after(std::chrono::milliseconds delay) const;

  std::optional<std::string> f;  ///< nothing: no answer
  bool closeLink = false;
  std::chrono::milliseconds delay{0};
};

struct ReceivedFile {
  int connection = 0;
  std::string bytes;
  std::chrono::steady_clock::time_point time;
};

class FileService {
 public:
  using Judge = std::function<Verdict(const std::string& bytes)>;

  FileService(asio::io_context& io, const std::string& address, std::uint16_t port);
  ~FileService();
  FileService(const FileService&) = delete;
  FileService& operator=(const FileService&) = delete;

  std::uint16_t port() const noexcept;

  /// Arms the next transfer: the next `length` bytes to arrive on a connection with no transfer
  /// in progress form one file, answered with `verdict` (or what `judge` says of the bytes).
  /// Transfers are taken in the order armed.
  void expect(std::size_t length, Verdict verdict = Verdict::success());
  void expect(std::size_t length, Judge judge);
  /// As the controller takes an announcement: it arms the next transfer in place of every armed
  /// one whose bytes never started (a client that lost its file link while announcing announces
  /// again, and the first announcement's bytes never come).
  void announce(std::size_t length, Judge judge);
  /// Armed transfers that no bytes have started yet.
  std::size_t pendingExpectations() const;

  std::vector<ReceivedFile> received() const;
  /// The `nth` complete file (from 1), waiting up to `timeout`.
  std::optional<ReceivedFile> waitForFile(std::size_t nth, std::chrono::milliseconds timeout) const;
  /// Bytes that arrived while no transfer was armed.
  std::size_t strayBytes() const;

  void dropConnections();
  void refuse(bool refused);
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
