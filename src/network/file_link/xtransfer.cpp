#include "network/file_link/xtransfer.h"

#include <json/reader.h>
#include <velmora/error.h>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"

namespace velmora::internal {

namespace {

bool validPort(int port) { return port > 0 && port <= 65535; }

}  // namespace

XNetworkBase::XNetworkBase(std::chrono::milliseconds verdictWait) : verdictWait_(verdictWait) {}

XNetworkBase::~XNetworkBase() { client.stop(); }

void XNetworkBase::connect(const std::string& ip, int newPort) {
  host = ip;
  port = newPort;
  bindCallbacks();
}

void XNetworkBase::start(std::error_code& ec) {
  if (linkState == 1) return;
  launched_ = false;  // this caller is told the outcome
  ec = makeErrorCode(0);
  if (host.empty() || !validPort(port) || client.start(host, static_cast<std::uint16_t>(port))) {
    linkState = 2;
    ec = makeErrorCode(256);
  }
}

void XNetworkBase::launch() {
  if (linkState == 1) return;
  if (host.empty() || !validPort(port)) {
    linkState = 2;
    attempted(makeErrorCode(256));
    return;
  }
  launched_ = true;
  client.launch(host, static_cast<std::uint16_t>(port));
}

void XNetworkBase::attempted(const std::error_code& ec) {
  linkState = ec ? 2 : 1;
  // A waited-for start reports its own failure; a launched one has nobody to tell but the log.
  if (launched_.exchange(false) && ec) {
    try {
      globalLogger()->info("uid: {} | FileTransfer connect failed ({})", logUid, makeErrorCode(256).value());
    } catch (...) {
    }
  }
}

void XNetworkBase::stop() {
  client.stop();
  linkState = 2;  // no handler runs after the stop: one that would tell it may never run
}

void XNetworkBase::sendAndWait(const char* data, std::size_t length, std::error_code& ec) {
  resultFlag = 0;
  {
    // Armed before the bytes leave: a verdict that comes back at once must still count.
    std::lock_guard<std::mutex> lock(mutex);
    awaiting_ = true;
    verdict_ = Verdict::none;
  }
  if (client.send(std::string_view(data, length)) != TcpClient::Posted::queued) {
    std::lock_guard<std::mutex> lock(mutex);
    awaiting_ = false;
    ec = makeErrorCode(256);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + verdictWait_;
  Verdict verdict;
  {
    std::unique_lock<std::mutex> lock(mutex);
    condition.wait_until(lock, deadline, [this] { return verdict_ != Verdict::none; });
    verdict = verdict_;
    awaiting_ = false;
    verdict_ = Verdict::none;
  }
  switch (verdict) {
    case Verdict::success:
      break;
    case Verdict::error:
    case Verdict::lost:
      ec = makeErrorCode(-284);
      break;
    case Verdict::none:
      ec = makeErrorCode(-285);
      stop();
      break;
  }
}

void XNetworkBase::takeVerdict(bool success) {
  resultFlag = success ? 1 : 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (!awaiting_ || verdict_ != Verdict::none) return;
  verdict_ = success ? Verdict::success : Verdict::error;
  condition.notify_one();
}

void XNetworkBase::linkLost() {
  losses.fetch_add(1, std::memory_order_acq_rel);
  std::lock_guard<std::mutex> lock(mutex);
  if (!awaiting_ || verdict_ != Verdict::none) return;
  verdict_ = Verdict::lost;
  condition.notify_one();
}

XTransfer::XTransfer(std::chrono::milliseconds verdictWait) : XNetworkBase(verdictWait) {}

XTransfer::~XTransfer() { client.stop(); }

void XTransfer::bindCallbacks() {
  client.setHandlers([this](const std::error_code& ec) { attempted(ec); },
                     [this](std::string_view data) { onReceive(data); },
                     [this](const std::error_code&) {
                       linkState = 2;
                       linkLost();
                     });
}

void XTransfer::onReceive(std::string_view data) {
  const auto cr = data.rfind('\r');
  if (cr != std::string_view::npos) data = data.substr(0, cr);
  Json::Value message;
  if (!messageReader().parse(data.data(), data.data() + data.size(), &message, nullptr)) return;
  bool verdict = false;
  bool success = false;
  if (message.isObject()) {
    const Json::Value& f = message["f"];
    if (f.isString()) {
      const std::string text = f.asString();
      verdict = text == "success" || text == "error";
      success = text == "success";
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    lastReply.swap(message);
  }
  if (verdict) takeVerdict(success);
}

}  // namespace velmora::internal
