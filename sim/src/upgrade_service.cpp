#include "velmora_sim/upgrade_service.h"

#include <condition_variable>
#include <mutex>

#include "tcp_server.h"
#include "velmora_sim/upgrade_md5.h"
#include "velmora_sim/wire.h"

namespace velmora_sim {

namespace {

// Frames beyond this close the connection: a test never sends one, a broken client might.
constexpr std::uint64_t kMaxFrame = 256 * 1024 * 1024;

std::uint32_t bigEndian32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

UpgradeFrame takeApart(int connection, std::string frame) {
  UpgradeFrame f;
  f.connection = connection;
  f.type = static_cast<std::uint8_t>(frame[4]);
  f.reserved = static_cast<std::uint8_t>(frame[5]);
  f.payload = frame.substr(6);
  f.time = std::chrono::steady_clock::now();
  if (f.type == kUpgradeJson) {
    if (!parseJson(f.payload, f.json)) f.json = Json::Value();
  } else if (f.payload.size() >= 21) {
    const std::size_t n = static_cast<std::size_t>(static_cast<unsigned char>(f.payload[19])) << 8 |
                          static_cast<unsigned char>(f.payload[20]);
    f.digest = f.payload.substr(3, 16);
    f.name = f.payload.substr(21, n);
    f.fileOffset = std::min(f.payload.size(), 21 + n);
    f.digestMatches = f.payload.size() >= 21 + n && md5Digest(f.file()) == f.digest;
  }
  return f;
}

// Plays the writes from `index` on, each after its delay.
void play(detail::Peer& peer, std::shared_ptr<const std::vector<UpgradeReply::Write>> writes, std::size_t index) {
  if (index >= writes->size()) return;
  const auto delay = (*writes)[index].delay;
  peer.later(delay, [writes, index](detail::Peer& p) {
    const auto& w = (*writes)[index];
    p.write(w.bytes);
    if (w.close) {
      p.closeWhenWritten();
      return;
    }
    play(p, writes, index + 1);
  });
}

}  // namespace

UpgradeReply::Write& UpgradeReply::current() {
  if (writes_.empty()) writes_.emplace_back();
  return writes_.back();
}

UpgradeReply& UpgradeReply::records(std::string_view bytes, std::size_t recordSize) {
  current().bytes += upgradeRecords(bytes, recordSize);
  return *this;
}

UpgradeReply& UpgradeReply::json(const Json::Value& message) { return records(upgradeJsonFrame(message)); }

UpgradeReply& UpgradeReply::raw(std::string_view bytes) {
  current().bytes.append(bytes);
  return *this;
}

UpgradeReply& UpgradeReply::pause(std::chrono::milliseconds delay) {
  writes_.emplace_back();
  writes_.back().delay = delay;
  return *this;
}

UpgradeReply& UpgradeReply::close() {
  current().close = true;
  return *this;
}

struct UpgradeService::Impl {
  Impl(asio::io_context& io, const std::string& address, std::uint16_t port)
      : core(io, address, port, [this](const std::shared_ptr<detail::Peer>&) {
          auto pending = std::make_shared<std::string>();
          return [this, pending](detail::Peer& peer, const char* data, std::size_t n) {
            onBytes(peer, *pending, data, n);
          };
        }) {}

  // Client frames arrive cut anywhere; each complete one is taken off the front.
  void onBytes(detail::Peer& peer, std::string& pending, const char* data, std::size_t n) {
    pending.append(data, n);
    while (pending.size() >= 6) {
      const std::uint64_t size = 6 + std::uint64_t{bigEndian32(pending.data())};
      if (size > kMaxFrame) {
        peer.closeNow();
        return;
      }
      if (pending.size() < size) {
        pending.reserve(static_cast<std::size_t>(size));
        return;
      }
      std::string frame = pending.substr(0, static_cast<std::size_t>(size));
      pending.erase(0, static_cast<std::size_t>(size));
      answer(peer, takeApart(peer.number(), std::move(frame)));
      if (!peer.isOpen()) return;
    }
  }

  void answer(detail::Peer& peer, UpgradeFrame frame) {
    Responder responder;
    std::string backup;
    {
      std::lock_guard<std::mutex> lock(mutex);
      responder = frame.type == kUpgradePackage ? packageResponder : requestResponder;
      backup = backupFile;
      if (recording) frames.push_back(frame);
    }
    changed.notify_all();
    UpgradeReply reply;
    if (responder) {
      reply = responder(frame);
    } else if (frame.type == kUpgradePackage) {
      reply = packageReply(frame);
    } else if (frame.json.isObject() && frame.json.isMember("export")) {
      reply.json(exportReply(frame.json)).records(backupFrame(backup));
    }
    play(peer, std::make_shared<const std::vector<UpgradeReply::Write>>(reply.writes()), 0);
  }

  detail::ServiceCore core;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  Responder packageResponder;
  Responder requestResponder;
  std::string backupFile = "velmora-sim backup\n";
  bool recording = true;
  std::vector<UpgradeFrame> frames;
};

UpgradeService::UpgradeService(asio::io_context& io, const std::string& address, std::uint16_t port)
    : impl_(std::make_shared<Impl>(io, address, port)) {}

UpgradeService::~UpgradeService() = default;

std::uint16_t UpgradeService::port() const noexcept { return impl_->core.port(); }

void UpgradeService::onPackage(Responder responder) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->packageResponder = std::move(responder);
}

void UpgradeService::onRequest(Responder responder) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requestResponder = std::move(responder);
}

void UpgradeService::setBackupFile(std::string file) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->backupFile = std::move(file);
}

UpgradeReply UpgradeService::packageReply(const UpgradeFrame& package) {
  Json::Value transfer(Json::objectValue);
  transfer["s"]["file_transfer"] = package.digestMatches;
  UpgradeReply reply;
  reply.json(transfer);
  if (package.digestMatches) {
    Json::Value upgrade(Json::objectValue);
    upgrade["upgrade"] = "ok";
    reply.json(upgrade);
  }
  return reply;
}

Json::Value UpgradeService::exportReply(const Json::Value& request) {
  Json::Value reply(Json::objectValue);
  reply["reply"] = "export";
  Json::Value& result = reply["result"] = Json::Value(Json::objectValue);
  const Json::Value& items = request.isObject() ? request["export"] : Json::Value::nullSingleton();
  if (items.isArray()) {
    for (const auto& item : items) {
      if (item.isString()) result[item.asString()] = "ok";
    }
  }
  result["size"] = "ok";
  return reply;
}

std::string UpgradeService::backupFrame(std::string_view file) {
  return upgradeFrame(kUpgradePackage, upgradeFilePayload(file, "backup.zip"));
}

std::vector<UpgradeFrame> UpgradeService::received() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->frames;
}

std::optional<UpgradeFrame> UpgradeService::waitForFrame(std::size_t nth, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  if (nth == 0) nth = 1;
  if (!impl_->changed.wait_for(lock, timeout, [&] { return impl_->frames.size() >= nth; })) return std::nullopt;
  return impl_->frames[nth - 1];
}

void UpgradeService::setRecording(bool enabled) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->recording = enabled;
}

void UpgradeService::refuse(bool refused) { impl_->core.refuse(refused); }
void UpgradeService::dropConnections() { impl_->core.dropConnections(); }
int UpgradeService::acceptCount() const noexcept { return impl_->core.acceptCount(); }
int UpgradeService::openConnections() const noexcept { return impl_->core.openConnections(); }
bool UpgradeService::waitForOpenConnections(int n, std::chrono::milliseconds timeout) const {
  return impl_->core.waitForOpenConnections(n, timeout);
}
std::shared_ptr<Connection> UpgradeService::latestConnection() const { return impl_->core.latest(); }
void UpgradeService::closeAll() { impl_->core.closeAll(); }

}  // namespace velmora_sim
