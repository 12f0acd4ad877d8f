#include "native/abi_records.h"

#include <any>
#include <system_error>

#include "native/abi_core.h"

namespace velmora::internal {

namespace {

void encodeTriple(BlobWriter& w, const std::array<double, 3>& values) {
  for (double v : values) w.f64(v);
}

void decodeTriple(BlobReader& r, std::array<double, 3>& values) {
  for (double& v : values) v = r.f64();
}

// Writes one event value when its type is one the managed side knows; false leaves it out.
bool encodeEventValue(BlobWriter& w, const std::string& key, const std::any& value) {
  if (const int* i = std::any_cast<int>(&value)) {
    w.text(key);
    w.u8(kEventInt);
    w.i32(*i);
  } else if (const double* d = std::any_cast<double>(&value)) {
    w.text(key);
    w.u8(kEventDouble);
    w.f64(*d);
  } else if (const std::string* s = std::any_cast<std::string>(&value)) {
    w.text(key);
    w.u8(kEventText);
    w.text(*s);
  } else if (const bool* b = std::any_cast<bool>(&value)) {
    w.text(key);
    w.u8(kEventFlag);
    w.flag(*b);
  } else if (const std::error_code* ec = std::any_cast<std::error_code>(&value)) {
    const vel_err crossed = toVelErr(*ec);
    w.text(key);
    w.u8(kEventError);
    w.i32(crossed.value);
    w.i32(crossed.category);
    w.text(ec->message());
  } else {
    return false;
  }
  return true;
}

}  // namespace

void encode(BlobWriter& w, const Frame& frame) {
  encodeTriple(w, frame.trans);
  encodeTriple(w, frame.rpy);
}

void encode(BlobWriter& w, const CartesianPosition& pose) {
  encode(w, static_cast<const Frame&>(pose));
  w.f64(pose.elbow);
  w.count(pose.confData.size());
  for (int v : pose.confData) w.i32(v);
  encode(w, pose.external);
}

void encode(BlobWriter& w, const Load& load) {
  w.f64(load.mass);
  encodeTriple(w, load.cog);
  encodeTriple(w, load.inertia);
}

void encode(BlobWriter& w, const Info& info) {
  w.text(info.id);
  w.text(info.mac);
  w.text(info.version);
  w.text(info.type);
  w.i32(info.joint_num);
}

void encode(BlobWriter& w, const WorkToolInfo& info) {
  w.text(info.name);
  w.text(info.alias);
  w.flag(info.robotHeld);
  encode(w, info.pos);
  encode(w, info.load);
}

void encode(BlobWriter& w, const LogInfo& info) {
  w.i32(info.id);
  w.text(info.timestamp);
  w.text(info.logText);
  w.text(info.repairHint);
}

void encode(BlobWriter& w, const RLProjectInfo& info) {
  w.text(info.name);
  encode(w, info.taskList);
}

void encode(BlobWriter& w, const SlaveInfo& info) {
  w.u32(info.vendorId);
  w.u32(info.productCode);
  w.u32(info.reversionNumber);
  w.u16(info.slaveAddr);
  w.u32(info.slaveId);
  w.u16(info.alStatus);
  w.text(info.slaveName);
}

void encode(BlobWriter& w, const StateList& state) {
  encode(w, state.joint_pos);
  encode(w, state.cart_pos);
  w.count(state.digital_signals.size());
  for (const auto& [name, on] : state.digital_signals) {
    w.text(name);
    w.flag(on);
  }
  w.count(state.analog_signals.size());
  for (const auto& [name, value] : state.analog_signals) {
    w.text(name);
    w.f64(value);
  }
  w.i32(static_cast<std::int32_t>(state.operation_mode));
  w.f64(state.speed_override);
}

void encode(BlobWriter& w, const EventInfo& info) {
  // Only values of known types count, and the count goes first: the values are written aside.
  BlobWriter values;
  std::size_t n = 0;
  for (const auto& [key, value] : info) {
    if (encodeEventValue(values, key, value)) ++n;
  }
  w.count(n);
  w.raw(values.bytes().data(), values.bytes().size());
}

void encode(BlobWriter& w, const CANFrame& frame) {
  w.i32(frame.frame_id);
  w.i32(frame.frame_format);
  w.i32(frame.frame_type);
  w.count(frame.data.size());
  w.raw(frame.data.data(), frame.data.size());
  w.i32(frame.frame_valid_length);
}

void encode(BlobWriter& w, const std::string& text) { w.text(text); }

void encode(BlobWriter& w, double value) { w.f64(value); }

void decode(BlobReader& r, Frame& frame) {
  decodeTriple(r, frame.trans);
  decodeTriple(r, frame.rpy);
}

void decode(BlobReader& r, CartesianPosition& pose) {
  decode(r, static_cast<Frame&>(pose));
  pose.elbow = r.f64();
  const std::size_t n = r.count(4);
  pose.confData.resize(n);
  for (int& v : pose.confData) v = r.i32();
  decode(r, pose.external);
}

void decode(BlobReader& r, CartesianPosition::Offset& offset) {
  offset.type = static_cast<CartesianPosition::Offset::Type>(r.i32());
  decode(r, offset.frame);
}

void decode(BlobReader& r, CANFrame& frame) {
  frame.frame_id = r.i32();
  frame.frame_format = r.i32();
  frame.frame_type = r.i32();
  frame.data.resize(r.count(1));
  r.raw(frame.data.data(), frame.data.size());
  frame.frame_valid_length = r.i32();
}

void decode(BlobReader& r, SDOData& item) {
  for (std::int32_t* field :
       {&item.index, &item.sub_index, &item.length, &item.over_time, &item.wait_time, &item.print_data}) {
    *field = r.i32();
  }
  r.raw(item.data.data(), item.data.size());
}

void decode(BlobReader& r, std::string& text) { text = r.text(); }

void decode(BlobReader& r, double& value) { value = r.f64(); }

}  // namespace velmora::internal
