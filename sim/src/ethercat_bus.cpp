#include "velmora_sim/ethercat_bus.h"

#include <map>
#include <mutex>
#include <utility>

namespace velmora_sim {
namespace {

constexpr int kUnknownState = -1;
constexpr int kUnknownSlave = -2;
constexpr int kBadRequest = -3;

const char* const kKeys[] = {"ethercat.get_con_slaves_num", "ethercat.get_slave_info", "ethercat.get_slaves_state",
                             "ethercat.set_slaves_state",   "ethercat.read_PDO_data",  "ethercat.write_PDO_data",
                             "ethercat.read_SDO_data",      "ethercat.write_SDO_data", "ethercat.write_multi_SDO_data"};

bool intMember(const Json::Value& object, const char* name, int& out) {
  if (!object.isObject() || !object[name].isInt()) return false;
  out = object[name].asInt();
  return true;
}

// "data" must hold exactly `count` bytes (none for a count <= 0).
bool byteMember(const Json::Value& object, int count, std::vector<std::uint8_t>& out) {
  const Json::Value& data = object["data"];
  const Json::ArrayIndex expected = count > 0 ? static_cast<Json::ArrayIndex>(count) : 0;
  if (!data.isArray() || data.size() != expected) return false;
  out.clear();
  for (const Json::Value& item : data) {
    if (!item.isInt() || item.asInt() < 0 || item.asInt() > 255) return false;
    out.push_back(static_cast<std::uint8_t>(item.asInt()));
  }
  return true;
}

Json::Value dataReply(Json::Value data) {
  Json::Value reply(Json::objectValue);
  reply["data"] = std::move(data);
  return reply;
}

Json::Value byteArray(const std::uint8_t* bytes, std::size_t count) {
  Json::Value array(Json::arrayValue);
  for (std::size_t i = 0; i < count; ++i) array.append(bytes[i]);
  return array;
}

struct SdoWrite {
  int index = 0;
  int subIndex = 0;
  std::vector<std::uint8_t> bytes;
};

bool readSdoWrite(const Json::Value& item, SdoWrite& out) {
  int length = 0;
  int overTime = 0;
  return intMember(item, "index", out.index) && intMember(item, "sub_index", out.subIndex) &&
         intMember(item, "length", length) && intMember(item, "over_time", overTime) && length >= 0 &&
         byteMember(item, length, out.bytes);
}

}  // namespace

struct EthercatBus::State {
  struct Slave {
    SimSlave identity;
    std::vector<std::uint8_t> pdo = std::vector<std::uint8_t>(kPdoBytes, 0);
    std::map<std::pair<int, int>, std::vector<std::uint8_t>> sdo;
  };

  mutable std::mutex mutex;
  std::vector<Slave> slaves;

  Slave* find(int addr) {
    for (Slave& slave : slaves) {
      if (slave.identity.addr == addr) return &slave;
    }
    return nullptr;
  }

  Json::Value answer(const std::string& key, const Json::Value& request);
  Json::Value pdo(const Json::Value& request, bool write);
  Json::Value sdo(const Json::Value& request, bool write);
  Json::Value multiSdo(const Json::Value& request);
};

Json::Value EthercatBus::State::answer(const std::string& key, const Json::Value& request) {
  std::lock_guard<std::mutex> lock(mutex);
  if (key == "ethercat.get_con_slaves_num") return dataReply(static_cast<int>(slaves.size()));
  if (key == "ethercat.get_slave_info") {
    int addr = 0;
    if (!intMember(request, "addr", addr)) return kBadRequest;
    const Slave* slave = find(addr);
    if (slave == nullptr) return kUnknownSlave;
    const SimSlave& id = slave->identity;
    Json::Value info(Json::objectValue);
    info["addr"] = id.addr;
    info["slaveId"] = id.slaveId;
    info["vendorId"] = id.vendorId;
    info["productCode"] = id.productCode;
    info["reversionNumber"] = id.reversionNumber;
    info["slaveName"] = id.name;
    return dataReply(std::move(info));
  }
  if (key == "ethercat.get_slaves_state") {
    Json::Value list(Json::arrayValue);
    for (const Slave& slave : slaves) {
      Json::Value entry(Json::objectValue);
      entry["addr"] = slave.identity.addr;
      entry["state"] = slave.identity.state;
      list.append(std::move(entry));
    }
    return dataReply(std::move(list));
  }
  if (key == "ethercat.set_slaves_state") {
    static const std::map<std::string, std::uint16_t> kStates = {
        {"init", 1}, {"preop", 2}, {"bootstrap", 3}, {"safeop", 4}, {"op", 8}};
    const Json::Value& name = request.isObject() ? request["state"] : Json::Value::nullSingleton();
    const auto it = name.isString() ? kStates.find(name.asString()) : kStates.end();
    if (it == kStates.end()) return kUnknownState;
    for (Slave& slave : slaves) slave.identity.state = it->second;
    return 0;
  }
  if (key == "ethercat.read_PDO_data") return pdo(request, false);
  if (key == "ethercat.write_PDO_data") return pdo(request, true);
  if (key == "ethercat.read_SDO_data") return sdo(request, false);
  if (key == "ethercat.write_SDO_data") return sdo(request, true);
  if (key == "ethercat.write_multi_SDO_data") return multiSdo(request);
  return kBadRequest;
}

Json::Value EthercatBus::State::pdo(const Json::Value& request, bool write) {
  int addr = 0;
  int offset = 0;
  int size = 0;
  if (!intMember(request, "addr", addr) || !intMember(request, "offset", offset) || !intMember(request, "size", size)) {
    return kBadRequest;
  }
  Slave* slave = find(addr);
  if (slave == nullptr) return kUnknownSlave;
  if (offset < 0 || size < 0 || offset > kPdoBytes || size > kPdoBytes - offset) return kBadRequest;
  if (!write) return dataReply(byteArray(slave->pdo.data() + offset, static_cast<std::size_t>(size)));
  std::vector<std::uint8_t> bytes;
  if (!byteMember(request, size, bytes)) return kBadRequest;
  std::copy(bytes.begin(), bytes.end(), slave->pdo.begin() + offset);
  return 0;
}

Json::Value EthercatBus::State::sdo(const Json::Value& request, bool write) {
  int addr = 0;
  if (!intMember(request, "addr", addr)) return kBadRequest;
  Slave* slave = find(addr);
  if (slave == nullptr) return kUnknownSlave;
  if (write) {
    SdoWrite item;
    if (!readSdoWrite(request, item)) return kBadRequest;
    slave->sdo[{item.index, item.subIndex}] = std::move(item.bytes);
    return 0;
  }
  int index = 0;
  int subIndex = 0;
  int length = 0;
  int overTime = 0;
  if (!intMember(request, "index", index) || !intMember(request, "sub_index", subIndex) ||
      !intMember(request, "length", length) || !intMember(request, "over_time", overTime)) {
    return kBadRequest;
  }
  const auto it = slave->sdo.find({index, subIndex});
  if (it == slave->sdo.end()) return -1;
  const std::size_t count = std::min(it->second.size(), static_cast<std::size_t>(std::max(length, 0)));
  return dataReply(byteArray(it->second.data(), count));
}

Json::Value EthercatBus::State::multiSdo(const Json::Value& request) {
  if (!request.isArray()) return kBadRequest;
  std::vector<std::pair<Slave*, SdoWrite>> writes;
  for (const Json::Value& item : request) {
    int addr = 0;
    int waitTime = 0;
    int printData = 0;
    SdoWrite write;
    if (!intMember(item, "addr", addr) || !intMember(item, "wait_time", waitTime) ||
        !intMember(item, "print_data", printData) || !readSdoWrite(item, write)) {
      return kBadRequest;
    }
    Slave* slave = find(addr);
    if (slave == nullptr) return kUnknownSlave;
    writes.emplace_back(slave, std::move(write));
  }
  for (auto& [slave, write] : writes) slave->sdo[{write.index, write.subIndex}] = std::move(write.bytes);
  return 0;
}

EthercatBus::EthercatBus() : state_(std::make_shared<State>()) {}

void EthercatBus::addSlave(SimSlave slave) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->slaves.push_back(State::Slave{std::move(slave), {}, {}});
  state_->slaves.back().pdo.assign(kPdoBytes, 0);
}

void EthercatBus::install(CommandService& service) const {
  for (const char* key : kKeys) {
    service.handle(Form::command, key, [state = state_, key = std::string(key)](Exchange& x) {
      x.reply(state->answer(key, x.request().payload));
    });
  }
}

Json::Value EthercatBus::answer(const std::string& key, const Json::Value& request) const {
  return state_->answer(key, request);
}

std::vector<std::uint8_t> EthercatBus::pdo(int addr) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const State::Slave* slave = state_->find(addr);
  return slave != nullptr ? slave->pdo : std::vector<std::uint8_t>();
}

std::optional<std::vector<std::uint8_t>> EthercatBus::sdo(int addr, int index, int subIndex) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const State::Slave* slave = state_->find(addr);
  if (slave == nullptr) return std::nullopt;
  const auto it = slave->sdo.find({index, subIndex});
  if (it == slave->sdo.end()) return std::nullopt;
  return it->second;
}

void EthercatBus::setSdo(int addr, int index, int subIndex, std::vector<std::uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (State::Slave* slave = state_->find(addr)) slave->sdo[{index, subIndex}] = std::move(bytes);
}

std::uint16_t EthercatBus::state(int addr) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const State::Slave* slave = state_->find(addr);
  return slave != nullptr ? slave->identity.state : 0;
}

}  // namespace velmora_sim
