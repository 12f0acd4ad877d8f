// `BaseEthercat`: its own link to the controller, and the slave list, identities and states.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/ethercat.h>
#include <velmora/exception.h>

#include <utility>

#include "common/json_read.h"
#include "common/reply_read.h"
#include "ethercat/ethercat_impl.h"
#include "network/xservice/link_settings.h"
#include "network/xservice/xservice.h"

namespace velmora {

BaseEthercat::Impl::~Impl() { link->stop(); }

bool BaseEthercat::Impl::request(const char* key, const Json::Value& value, Json::Value& reply,
                                 std::error_code& ec) const {
  link->sendCommand(key, value, reply, ec, internal::linkSettings().defaultRequestWait.load());
  return !ec;
}

BaseEthercat::BaseEthercat(std::shared_ptr<internal::XService> robotLink) {
  auto link = std::make_shared<internal::XService>();
  std::error_code ec = internal::makeErrorCode(256);
  if (robotLink) {
    link->setLogger(robotLink->logger());
    // A robot that never connected has no address; the link refuses the empty host rather
    // than letting it resolve to this machine.
    link->connect(robotLink->host(), internal::kEthercatCommandPort);
    link->start(ec);
  }
  if (ec) throw NetworkException(ec.message());
  impl_ = std::make_unique<Impl>(std::move(link));
}

BaseEthercat::BaseEthercat(BaseEthercat&& other) noexcept = default;
BaseEthercat& BaseEthercat::operator=(BaseEthercat&& other) noexcept = default;
BaseEthercat::~BaseEthercat() = default;

namespace {

using internal::guardReply;
using internal::kNoObjectCode;

SlaveInfo slaveInfo(const BaseEthercat::Impl& impl, int slaveAddr, std::error_code& ec) {
  Json::Value request(Json::objectValue);
  request["addr"] = slaveAddr;
  Json::Value reply;
  SlaveInfo info;
  if (!impl.request("ethercat.get_slave_info", request, reply, ec)) return info;
  if (!internal::readSlaveInfo(reply, info, ec)) return info;
  std::vector<internal::SlaveStateEntry> states;
  if (!impl.request("ethercat.get_slaves_state", Json::Value(), reply, ec) ||
      !internal::readStateList(reply, states, ec)) {
    return info;
  }
  for (const auto& entry : states) {
    if (entry.addr == slaveAddr) info.alStatus = entry.state;
  }
  return info;
}

bool linkFailure(const std::error_code& ec) { return ec.value() == 256 || ec.value() == 263; }

}  // namespace

int BaseEthercat::GetSlaveCount(std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  if (!impl_) {
    ec = internal::makeErrorCode(kNoObjectCode);
    return 0;
  }
  int count = 0;
  guardReply(ec, [&] {
    Json::Value reply;
    if (!impl_->request("ethercat.get_con_slaves_num", Json::Value(), reply, ec)) return;
    if (internal::takeIntegerReply(reply, ec, internal::kUnreadableReplyCode)) return;
    if (!internal::hasMember(reply, "data") ||
        !internal::readInt(internal::member(reply, "data"), count)) {
      count = 0;
      ec = internal::makeErrorCode(internal::kUnreadableReplyCode);
    }
  });
  return ec ? 0 : count;
}

SlaveInfo BaseEthercat::GetSlaveInfo(int slave_addr, std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  if (!impl_) {
    ec = internal::makeErrorCode(kNoObjectCode);
    return {};
  }
  SlaveInfo info;
  if (!guardReply(ec, [&] { info = slaveInfo(*impl_, slave_addr, ec); })) return {};
  return info;
}

std::vector<SlaveInfo> BaseEthercat::GetSlavesInfo(std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  std::vector<SlaveInfo> infos;
  if (!impl_) {
    ec = internal::makeErrorCode(kNoObjectCode);
    return infos;
  }
  const bool ok = guardReply(ec, [&] {
    Json::Value reply;
    std::vector<internal::SlaveStateEntry> states;
    if (!impl_->request("ethercat.get_slaves_state", Json::Value(), reply, ec) ||
        !internal::readStateList(reply, states, ec)) {
      return;
    }
    infos.reserve(states.size());
    std::error_code first;
    bool linkDown = false;
    for (const auto& entry : states) {
      // With the link down or the controller silent, each further slave would only add two
      // more failed waits; its record stays zero so the list still has one per slave.
      if (linkDown) {
        infos.emplace_back();
        continue;
      }
      std::error_code one;
      infos.push_back(slaveInfo(*impl_, entry.addr, one));
      if (one && !first) first = one;
      linkDown = linkFailure(one);
    }
    // The first failure is the one to report: a later success must not hide it.
    ec = first ? first : internal::makeErrorCode(0);
  });
  if (!ok) infos.clear();
  return infos;
}

std::uint16_t BaseEthercat::GetSlaveState(int slave_addr, std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  if (!impl_) {
    ec = internal::makeErrorCode(kNoObjectCode);
    return 0;
  }
  std::uint16_t state = 0;
  guardReply(ec, [&] {
    Json::Value reply;
    std::vector<internal::SlaveStateEntry> states;
    if (!impl_->request("ethercat.get_slaves_state", Json::Value(), reply, ec) ||
        !internal::readStateList(reply, states, ec)) {
      return;
    }
    for (const auto& entry : states) {
      if (entry.addr == slave_addr) {
        state = entry.state;
        break;
      }
    }
  });
  return ec ? 0 : state;
}

bool BaseEthercat::SetSlavesState(std::uint16_t state, std::error_code& ec) noexcept {
  ec = internal::makeErrorCode(0);
  if (!impl_) {
    ec = internal::makeErrorCode(kNoObjectCode);
    return false;
  }
  const char* name = nullptr;
  switch (state) {
    case 1:
      name = "init";
      break;
    case 2:
      name = "preop";
      break;
    case 3:
      name = "bootstrap";
      break;
    case 4:
      name = "safeop";
      break;
    case 8:
      name = "op";
      break;
    default:
      ec = internal::makeErrorCode(259);
      return false;
  }
  bool done = false;
  guardReply(ec, [&] {
    Json::Value request(Json::objectValue);
    request["state"] = name;
    Json::Value reply;
    // A refusal of the bus state is as much a failure as a lost link.
    done = impl_->request("ethercat.set_slaves_state", request, reply, ec) &&
           internal::writeVerdict(reply, ec);
  });
  return done && !ec;
}

}  // namespace velmora
