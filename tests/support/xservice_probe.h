#pragma once
// What tests see of a command link beyond its interface: its TCP client, its waiting requests
// and its file link.

#include <string_view>

#include "network/xservice/xservice.h"

namespace velmora::internal {

class XServiceProbe {
 public:
  static TcpClient& client(XService& link) { return link.client_; }
  static ReplyWaiters& waiters(XService& link) { return link.waiters_; }
  static XTransfer& fileLink(XService& link) { return *link.transfer_; }
  /// Raw bytes on the command connection; true when the client took them.
  static bool send(XService& link, std::string_view text) {
    return link.client_.send(text) == TcpClient::Posted::queued;
  }
};

}  // namespace velmora::internal
