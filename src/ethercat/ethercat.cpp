// `BaseEthercat`: its own link to the controller, and the slave list, identities and states.

#include <json/value.h>
#include <velmora/error.h>
#include <velmora/ethercat.h>
#include <velmora/exception.h>

#include <utility>

#include "common/json_read.h"
#include "common/reply_read.h"
#include "common/result_codes.h"
#include "ethercat/ethercat_impl.h"
#include "network/xservice/xservice.h"
#include "robot/operation_frame.h"

namespace velmora {
namespace internal {
namespace {

bool unreadable(std::error_code& ec) {
  ec = makeErrorCode(kUnreadableReplyCode);
  return false;
}

// A member that is missing reads as 0, as the controller leaves out fields it does not know.
template <typename T>
bool readOptional(const Json::Value& object, const char* key, T& out) {
  if (!hasMember(object, key)) {
    out = 0;
    return true;
  }
  return readLowBits(member(object, key), out);
}

}  // namespace

bool readStateList(const Json::Value& reply, std::vector<SlaveStateEntry>& out, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  if (!reply.isObject() && !reply.isNull()) return unreadable(ec);
  const Json::Value& data = member(reply, "data");
  std::vector<SlaveStateEntry> entries;
  if (!data.isNull()) {
    if (!data.isArray()) return unreadable(ec);
    entries.resize(data.size());
    for (Json::ArrayIndex i = 0; i < data.size(); ++i) {
      if (!data[i].isObject() || !readOptional(data[i], "addr", entries[i].addr) ||
          !readOptional(data[i], "state", entries[i].state)) {
        return unreadable(ec);
      }
    }
  }
  out = std::move(entries);
  return true;
}

bool readSlaveInfo(const Json::Value& reply, SlaveInfo& out, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isObject()) return unreadable(ec);
  SlaveInfo info;
  // Identifiers are 32-bit unsigned: a vendor id of 0xFFFFFFFF is an ordinary value.
  if (!readOptional(data, "addr", info.slaveAddr) || !readOptional(data, "slaveId", info.slaveId) ||
      !readOptional(data, "vendorId", info.vendorId) || !readOptional(data, "productCode", info.productCode) ||
      !readOptional(data, "reversionNumber", info.reversionNumber) ||
      !readString(member(data, "slaveName"), info.slaveName)) {
    return unreadable(ec);
  }
  out = std::move(info);
  return true;
}

}  // namespace internal

BaseEthercat::Impl::~Impl() { link->stop(); }

// The declared signature takes the robot's link by value.
BaseEthercat::BaseEthercat(
    std::shared_ptr<internal::XService> robotLink) {  // NOLINT(performance-unnecessary-value-param)
  // The robot's waits hold for its EtherCAT requests too.
  auto link = std::make_shared<internal::XService>(robotLink ? robotLink->options() : internal::LinkOptions());
  std::error_code ec = internal::makeErrorCode(internal::kLinkDownCode);
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

/// The list of "ethercat.get_slaves_state"; false with `ec` set when it cannot be had.
bool slaveStates(internal::XService& link, std::vector<internal::SlaveStateEntry>& states, std::error_code& ec) {
  Json::Value reply;
  internal::command(link, "ethercat.get_slaves_state", Json::Value(), reply, ec);
  return !ec && internal::readStateList(reply, states, ec);
}

/// The identity of one slave, then its state from the list of all.
SlaveInfo slaveInfo(internal::XService& link, int slaveAddr, std::error_code& ec) {
  Json::Value request(Json::objectValue);
  request["addr"] = slaveAddr;
  Json::Value reply;
  SlaveInfo info;
  internal::command(link, "ethercat.get_slave_info", request, reply, ec);
  if (ec || !internal::readSlaveInfo(reply, info, ec)) return info;
  std::vector<internal::SlaveStateEntry> states;
  if (!slaveStates(link, states, ec)) return info;
  for (const auto& entry : states) {
    if (entry.addr == slaveAddr) info.alStatus = entry.state;
  }
  return info;
}

bool linkFailure(const std::error_code& ec) {
  return ec.value() == internal::kLinkDownCode || ec.value() == internal::kTimeoutCode;
}

}  // namespace

int BaseEthercat::GetSlaveCount(std::error_code& ec) noexcept {
  int count = 0;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    Json::Value reply;
    internal::command(*impl.link, "ethercat.get_con_slaves_num", Json::Value(), reply, ec);
    if (ec) return;
    if (internal::takeIntegerReply(reply, ec, internal::kUnreadableReplyCode)) return;
    if (!internal::hasMember(reply, "data") || !internal::readInt(internal::member(reply, "data"), count)) {
      count = 0;
      ec = internal::makeErrorCode(internal::kUnreadableReplyCode);
    }
  });
  return ec ? 0 : count;
}

SlaveInfo BaseEthercat::GetSlaveInfo(int slave_addr, std::error_code& ec) noexcept {
  SlaveInfo info;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) { info = slaveInfo(*impl.link, slave_addr, ec); });
  return info;
}

std::vector<SlaveInfo> BaseEthercat::GetSlavesInfo(std::error_code& ec) noexcept {
  std::vector<SlaveInfo> infos;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    std::vector<internal::SlaveStateEntry> states;
    if (!slaveStates(*impl.link, states, ec)) return;
    std::vector<SlaveInfo> list;
    list.reserve(states.size());
    std::error_code first;
    bool linkDown = false;
    for (const auto& entry : states) {
      // With the link down or the controller silent, each further slave would only add two
      // more failed waits; its record stays zero so the list still has one per slave.
      if (linkDown) {
        list.emplace_back();
        continue;
      }
      std::error_code one;
      list.push_back(slaveInfo(*impl.link, entry.addr, one));
      if (one && !first) first = one;
      linkDown = linkFailure(one);
    }
    // The first failure is the one to report: a later success must not hide it. The list is
    // the caller's only once whole, so a failure thrown half-way leaves it empty.
    ec = first ? first : internal::makeErrorCode(0);
    infos = std::move(list);
  });
  return infos;
}

std::uint16_t BaseEthercat::GetSlaveState(int slave_addr, std::error_code& ec) noexcept {
  std::uint16_t state = 0;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
    std::vector<internal::SlaveStateEntry> states;
    if (!slaveStates(*impl.link, states, ec)) return;
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
  bool done = false;
  internal::runOperation(impl_.get(), ec, [&](Impl& impl) {
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
        ec = internal::makeErrorCode(internal::kArgumentInvalidCode);
        return;
    }
    Json::Value request(Json::objectValue);
    request["state"] = name;
    Json::Value reply;
    internal::command(*impl.link, "ethercat.set_slaves_state", request, reply, ec);
    // A refusal of the bus state is as much a failure as a lost link.
    done = !ec && internal::writeVerdict(reply, ec);
  });
  return done && !ec;
}

}  // namespace velmora
