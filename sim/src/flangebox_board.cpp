#include "velmora_sim/flangebox_board.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "locked_handlers.h"

namespace velmora_sim {

struct FlangeboxBoard::State {
  mutable std::mutex mutex;
  std::function<int()> boardType;  // the type the controller reports
  std::deque<Json::Value> rs485Answers;
  std::vector<Json::Value> rs485Sent;
  std::map<std::tuple<int, int, int>, std::uint16_t> tables;  // (table, slave, address)
  std::deque<std::pair<Json::Value, std::chrono::milliseconds>> canQueue;
  std::vector<Json::Value> canSent;
};

namespace {

using P = const Json::Value&;
constexpr int kAddressSpace = 65536;

struct Limits {
  int bytes, coils, registers;
};

Limits limitsOf(const std::function<int()>& boardType) {
  const int type = boardType ? boardType() : 2;
  if (type == 2 || type == 4) return {128, 944, 59};
  if (type == 3) return {64, 432, 27};
  return {16, 48, 3};
}

const Json::Value& field(P value, const char* name) {
  return value.isObject() ? value[name] : Json::Value::nullSingleton();
}

/// An integer on the wire (not a real, not a flag) within [low, high].
bool intIn(P value, int low, int high) {
  return (value.type() == Json::intValue || value.type() == Json::uintValue) && value.isInt() && value.asInt() >= low &&
         value.asInt() <= high;
}

/// An array of exactly `n` integers within [low, high].
bool intsIn(P values, Json::ArrayIndex n, int low, int high) {
  if (!values.isArray() || values.size() != n) return false;
  for (const Json::Value& v : values) {
    if (!intIn(v, low, high)) return false;
  }
  return true;
}

Json::Value failure(const char* text) {
  Json::Value reply(Json::objectValue);
  reply["error"] = text;
  return reply;
}

Json::Value result(const char* name, Json::Value values) {
  Json::Value reply(Json::objectValue);
  reply["data"][name] = std::move(values);
  return reply;
}

bool canLengthFits(int type, int bytes) {
  if (type == 2) return bytes <= 8;
  if (bytes <= 8) return true;
  for (const int allowed : {12, 16, 20, 24, 32, 48, 64}) {
    if (bytes == allowed) return true;
  }
  return false;
}

bool acceptsFrame(P frame) {
  const Json::Value& format = field(frame, "frame_format");
  const Json::Value& type = field(frame, "frame_type");
  const Json::Value& length = field(frame, "frame_valid_length");
  if (!intIn(format, 0, 1) || !intIn(type, 0, 2) || !intIn(length, 0, 64)) return false;
  if (!intIn(field(frame, "frame_id"), 0, format.asInt() == 0 ? 0x7FF : 0x1FFFFFFF)) return false;
  return canLengthFits(type.asInt(), length.asInt()) &&
         intsIn(field(frame, "data_array"), static_cast<Json::ArrayIndex>(length.asInt()), 0, 255);
}

}  // namespace

FlangeboxBoard::FlangeboxBoard() : state_(std::make_shared<State>()) {}
FlangeboxBoard::~FlangeboxBoard() = default;

void FlangeboxBoard::install(CommandService& service, std::function<int()> boardType) {
  const std::shared_ptr<State> s = state_;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    s->boardType = std::move(boardType);
  }
  auto locked = detail::lockedHandlers(s);
  service.serve(Form::command, "modbusRTU.data.rw", locked([](State& st, P p) {
                  const Limits limits = limitsOf(st.boardType);
                  const Json::Value& sendLength = field(p, "send_len");
                  const Json::Value& receiveLength = field(p, "rev_len");
                  if (!intIn(sendLength, 0, limits.bytes) || !intIn(receiveLength, 0, limits.bytes) ||
                      !intsIn(field(p, "send_data"), sendLength.asUInt(), 0, 255)) {
                    return failure("invalid rs485 request");
                  }
                  st.rs485Sent.push_back(p["send_data"]);
                  Json::Value answer = p["send_data"];
                  if (!st.rs485Answers.empty()) {
                    answer = std::move(st.rs485Answers.front());
                    st.rs485Answers.pop_front();
                  }
                  if (answer.isArray()) answer.resize(receiveLength.asUInt());
                  for (Json::Value& byte : answer) {
                    if (byte.isNull()) byte = 0;
                  }
                  return result("rev_data", std::move(answer));
                }));

  service.serve(Form::command, "modbusRTU.coil.rw", locked([](State& st, P p) {
                  const Json::Value& function = field(p, "fun_cmd");
                  const Json::Value& num = field(p, "num");
                  const Json::Value& values = field(p, "data_array");
                  if (!intIn(field(p, "slave_addr"), 0, 65535) || !intIn(function, 1, 15) ||
                      !field(p, "if_crc_reverse").isBool() || !intIn(num, 0, limitsOf(st.boardType).coils) ||
                      !values.isArray() || values.size() != num.asUInt()) {
                    return failure("invalid coil request");
                  }
                  for (const Json::Value& v : values) {
                    if (!v.isBool()) return failure("invalid coil request");
                  }
                  const int slave = p["slave_addr"].asInt();
                  const int start = p["coil_addr"].isInt() ? p["coil_addr"].asInt() : -1;
                  const int code = function.asInt();
                  if (start < 0 || start + num.asInt() > kAddressSpace) return failure("illegal data address");
                  Json::Value answer(Json::arrayValue);
                  if (code == 1 || code == 2) {
                    const int table = static_cast<int>(code == 1 ? Table::coils : Table::discreteInputs);
                    for (int i = 0; i < num.asInt(); ++i) answer.append(st.tables[{table, slave, start + i}] != 0);
                  } else if (code == 5 || code == 15) {
                    const int written = code == 5 ? std::min(1, num.asInt()) : num.asInt();
                    for (int i = 0; i < written; ++i) {
                      st.tables[{static_cast<int>(Table::coils), slave, start + i}] = values[i].asBool() ? 1 : 0;
                    }
                    answer = values;
                  } else {
                    return failure("illegal function");
                  }
                  return result("rev_data", std::move(answer));
                }));

  service.serve(Form::command, "modbusRTU.register.rw", locked([](State& st, P p) {
                  const Json::Value& function = field(p, "fun_cmd");
                  const Json::Value& num = field(p, "num");
                  if (!intIn(field(p, "slave_addr"), 0, 65535) || !intIn(function, 1, 16) ||
                      !field(p, "if_crc_reverse").isBool() || !intIn(num, 0, limitsOf(st.boardType).registers) ||
                      !intsIn(field(p, "data_array"), num.asUInt(), 0, 65535)) {
                    return failure("invalid register request");
                  }
                  const int slave = p["slave_addr"].asInt();
                  const int start = p["reg_addr"].isInt() ? p["reg_addr"].asInt() : -1;
                  const int code = function.asInt();
                  if (start < 0 || start + num.asInt() > kAddressSpace) return failure("illegal data address");
                  Json::Value answer(Json::arrayValue);
                  if (code == 3 || code == 4) {
                    const int table = static_cast<int>(code == 3 ? Table::holdingRegisters : Table::inputRegisters);
                    for (int i = 0; i < num.asInt(); ++i) answer.append(st.tables[{table, slave, start + i}]);
                  } else if (code == 6 || code == 16) {
                    const int written = code == 6 ? std::min(1, num.asInt()) : num.asInt();
                    for (int i = 0; i < written; ++i) {
                      st.tables[{static_cast<int>(Table::holdingRegisters), slave, start + i}] =
                          static_cast<std::uint16_t>(p["data_array"][i].asUInt());
                    }
                    answer = p["data_array"];
                  } else {
                    return failure("illegal function");
                  }
                  return result("data_array", std::move(answer));
                }));

  service.serve(Form::command, "modbusRTU.can.send", locked([](State& st, P p) {
                  const Json::Value& frames = field(p, "send_frames");
                  if (!frames.isArray()) return failure("invalid can request");
                  for (const Json::Value& frame : frames) {
                    if (!acceptsFrame(frame)) return failure("invalid can frame");
                  }
                  for (const Json::Value& frame : frames) st.canSent.push_back(frame);
                  return Json::Value(0);
                }));

  service.serve(Form::command, "modbusRTU.can.recv", [s](Exchange& x) {
    const Json::Value& timeout = field(x.request().payload, "timeout_ms");
    if (!intIn(timeout, 0, 0x7FFFFFFF)) {
      x.reply(failure("invalid can request"));
      return;
    }
    const std::chrono::milliseconds wait(timeout.asInt());
    std::lock_guard<std::mutex> lock(s->mutex);
    if (s->canQueue.empty() || s->canQueue.front().second > wait) {
      x.reply(-1);
      x.delay(wait);
      return;
    }
    Json::Value reply(Json::objectValue);
    reply["data"] = std::move(s->canQueue.front().first);
    x.delay(s->canQueue.front().second);
    s->canQueue.pop_front();
    x.reply(std::move(reply));
  });
}

void FlangeboxBoard::queueRs485Answer(Json::Value bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->rs485Answers.push_back(std::move(bytes));
}

std::vector<Json::Value> FlangeboxBoard::rs485Sent() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->rs485Sent;
}

std::uint16_t FlangeboxBoard::value(Table table, int slave, int address) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto it = state_->tables.find({static_cast<int>(table), slave, address});
  return it == state_->tables.end() ? 0 : it->second;
}

void FlangeboxBoard::setValue(Table table, int slave, int address, std::uint16_t value) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->tables[{static_cast<int>(table), slave, address}] = value;
}

void FlangeboxBoard::queueCanFrame(Json::Value frame, std::chrono::milliseconds after) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->canQueue.emplace_back(std::move(frame), after);
}

std::vector<Json::Value> FlangeboxBoard::canSent() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->canSent;
}

}  // namespace velmora_sim
