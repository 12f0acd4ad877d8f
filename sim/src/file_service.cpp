#include "velmora_sim/file_service.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "tcp_server.h"
#include "velmora_sim/wire.h"

namespace velmora_sim {

Verdict Verdict::text(std::string f) {
  Verdict v;
  v.f = std::move(f);
  return v;
}

Verdict Verdict::silent() { return Verdict{}; }

Verdict Verdict::close() {
  Verdict v;
  v.closeLink = true;
  return v;
}

Verdict Verdict::after(std::chrono::milliseconds d) const {
  Verdict v = *this;
  v.delay = d;
  return v;
}

struct FileService::Impl {
  struct Expectation {
    std::size_t length = 0;
    Judge judge;
  };
  // The transfer in progress on one connection.
  struct Transfer {
    bool active = false;
    Expectation expectation;
    std::string bytes;
  };

  Impl(asio::io_context& io, const std::string& address, std::uint16_t port)
      : core(io, address, port, [this](const std::shared_ptr<detail::Peer>&) {
          auto transfer = std::make_shared<Transfer>();
          return [this, transfer](detail::Peer& peer, const char* data, std::size_t n) {
            onBytes(peer, *transfer, data, n);
          };
        }) {}

  void onBytes(detail::Peer& peer, Transfer& transfer, const char* data, std::size_t n) {
    while (n > 0 || (transfer.active && transfer.bytes.size() == transfer.expectation.length)) {
      if (!transfer.active) {
        std::lock_guard<std::mutex> lock(mutex);
        if (expected.empty()) {
          stray += n;
          return;
        }
        transfer.expectation = std::move(expected.front());
        expected.pop_front();
        transfer.bytes.clear();
        transfer.bytes.reserve(transfer.expectation.length);
        transfer.active = true;
      }
      const std::size_t take = std::min(n, transfer.expectation.length - transfer.bytes.size());
      transfer.bytes.append(data, take);
      data += take;
      n -= take;
      if (transfer.bytes.size() < transfer.expectation.length) return;
      finish(peer, transfer);
      if (!peer.isOpen()) return;
    }
  }

  void finish(detail::Peer& peer, Transfer& transfer) {
    transfer.active = false;
    const Verdict verdict =
        transfer.expectation.judge ? transfer.expectation.judge(transfer.bytes) : Verdict::success();
    {
      std::lock_guard<std::mutex> lock(mutex);
      files.push_back(ReceivedFile{peer.number(), std::move(transfer.bytes), std::chrono::steady_clock::now()});
    }
    changed.notify_all();
    transfer.bytes = std::string();
    if (verdict.closeLink) {
      peer.later(verdict.delay, [](detail::Peer& p) { p.closeNow(); });
    } else if (verdict.f) {
      Json::Value message(Json::objectValue);
      message["f"] = *verdict.f;
      peer.later(verdict.delay, [bytes = frame(message)](detail::Peer& p) mutable { p.write(std::move(bytes)); });
    }
  }

  detail::ServiceCore core;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::deque<Expectation> expected;
  std::vector<ReceivedFile> files;
  std::size_t stray = 0;
};

FileService::FileService(asio::io_context& io, const std::string& address, std::uint16_t port)
    : impl_(std::make_shared<Impl>(io, address, port)) {}

FileService::~FileService() = default;

std::uint16_t FileService::port() const noexcept { return impl_->core.port(); }

void FileService::expect(std::size_t length, Verdict verdict) {
  expect(length, [verdict](const std::string&) { return verdict; });
}

void FileService::expect(std::size_t length, Judge judge) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->expected.push_back(Impl::Expectation{length, std::move(judge)});
}

void FileService::announce(std::size_t length, Judge judge) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->expected.clear();
  impl_->expected.push_back(Impl::Expectation{length, std::move(judge)});
}

std::size_t FileService::pendingExpectations() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->expected.size();
}

std::vector<ReceivedFile> FileService::received() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->files;
}

std::optional<ReceivedFile> FileService::waitForFile(std::size_t nth, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  if (nth == 0) nth = 1;
  if (!impl_->changed.wait_for(lock, timeout, [&] { return impl_->files.size() >= nth; })) return std::nullopt;
  return impl_->files[nth - 1];
}

std::size_t FileService::strayBytes() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->stray;
}

void FileService::dropConnections() { impl_->core.dropConnections(); }
void FileService::refuse(bool refused) { impl_->core.refuse(refused); }
int FileService::acceptCount() const noexcept { return impl_->core.acceptCount(); }
int FileService::openConnections() const noexcept { return impl_->core.openConnections(); }
bool FileService::waitForOpenConnections(int n, std::chrono::milliseconds timeout) const {
  return impl_->core.waitForOpenConnections(n, timeout);
}
std::shared_ptr<Connection> FileService::latestConnection() const { return impl_->core.latest(); }
void FileService::closeAll() { impl_->core.closeAll(); }

}  // namespace velmora_sim
