#include "network/xservice.h"

#include <velmora/error.h>

#include "common/globals.h"
#include "common/logging.h"
#include "network/link_settings.h"

namespace velmora::internal {

XService::XService() { _bind(); }

XService::~XService() { stop(); }

void XService::_bind() {
  // The handlers never change, so they are bound once rather than at every `connect`.
  client.setHandlers([this](const std::error_code& ec) { handleConnect(ec); },
                     [this](std::string_view data) { onReceive(data); },
                     [this](const std::error_code&) { handleDisconnect(); });
}

void XService::connect(const std::string& ip, int newPort) {
  // The I/O thread reads the address for its log lines.
  client.stop();
  host = ip;
  port = newPort;
  if (!transfer) transfer = std::make_shared<XTransfer>();
  transfer->connect(ip, linkSettings().fileLinkPort.load());
}

void XService::start(std::error_code& ec) {
  ec = makeErrorCode(0);
  if (linkState == 1) return;
  // An empty host would resolve to the local machine; never open a socket for it.
  if (host.empty() || port <= 0 || port > 65535 || client.start(host, static_cast<std::uint16_t>(port))) {
    linkState = 2;
    ec = makeErrorCode(256);
    // The file link is not tried: the caller has been told the link is down, and a file link
    // left connected would outlive that answer.
    return;
  }
  if (transfer) {
    std::error_code fileEc;
    transfer->start(fileEc);
    if (fileEc) globalLogger()->info("uid: {} | FileTransfer connect failed ({})", logUid, fileEc.value());
  }
}

void XService::stop() {
  client.stop();
  if (transfer) transfer->stop();
}

void XService::setConnectionHandler(std::function<void(bool)> handler) {
  connectionHandler = std::move(handler);
}

void XService::handleConnect(const std::error_code& ec) {
  if (ec) {
    linkState = 2;
    return;
  }
  linkState = 1;
  globalLogger()->info("uid: {} | xService {}:{} connect", logUid, host, port);
  if (connectionHandler) connectionHandler(true);
}

void XService::handleDisconnect() {
  linkState = 2;
  // Every waiter is failed under the waiters' lock, so none can test the state and then sleep
  // through the wake-up.
  waiters.failAll(makeErrorCode(256));
  globalLogger()->info("uid: {} | xService {}:{} disconnect", logUid, host, port);
  if (connectionHandler) connectionHandler(false);
}

}  // namespace velmora::internal
