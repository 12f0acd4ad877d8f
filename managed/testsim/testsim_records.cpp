// Native records from JSON and back, with the native field names, so the managed tests can check
// each crossing form against the native fields it fills.

#include <velmora/error.h>

#include <json/value.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "native/abi_core.h"
#include "native/abi_records.h"
#include "native/abi_values.h"
#include "testsim/velmora_testsim.h"
#include "velmora_sim/wire.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

// JSON to native.

template <std::size_t N>
std::array<double, N> arrayOf(const Json::Value& v) {
  std::array<double, N> a{};
  for (std::size_t i = 0; i < N; ++i) a[i] = v[static_cast<Json::ArrayIndex>(i)].asDouble();
  return a;
}

std::vector<double> doublesOf(const Json::Value& v) {
  std::vector<double> out;
  for (const Json::Value& e : v) out.push_back(e.asDouble());
  return out;
}

Frame frameOf(const Json::Value& v) { return Frame(arrayOf<3>(v["trans"]), arrayOf<3>(v["rpy"])); }

Load loadOf(const Json::Value& v) { return Load(v["mass"].asDouble(), arrayOf<3>(v["cog"]), arrayOf<3>(v["inertia"])); }

CartesianPosition poseOf(const Json::Value& v) {
  CartesianPosition pose;
  static_cast<Frame&>(pose) = frameOf(v);
  pose.elbow = v["elbow"].asDouble();
  for (const Json::Value& e : v["confData"]) pose.confData.push_back(e.asInt());
  pose.external = doublesOf(v["external"]);
  return pose;
}

Info infoOf(const Json::Value& v) {
  Info info;
  info.id = v["id"].asString();
  info.mac = v["mac"].asString();
  info.version = v["version"].asString();
  info.type = v["type"].asString();
  info.joint_num = v["joint_num"].asInt();
  return info;
}

WorkToolInfo workToolOf(const Json::Value& v) {
  WorkToolInfo info(v["name"].asString(), v["robotHeld"].asBool(), frameOf(v["pos"]), loadOf(v["load"]));
  info.alias = v["alias"].asString();
  return info;
}

LogInfo logOf(const Json::Value& v) {
  return LogInfo(v["id"].asInt(), v["timestamp"].asString(), v["logText"].asString(), v["repairHint"].asString());
}

RLProjectInfo projectOf(const Json::Value& v) {
  RLProjectInfo info(v["name"].asString());
  for (const Json::Value& e : v["taskList"]) info.taskList.push_back(e.asString());
  return info;
}

SlaveInfo slaveOf(const Json::Value& v) {
  SlaveInfo info;
  info.vendorId = v["vendorId"].asUInt();
  info.productCode = v["productCode"].asUInt();
  info.reversionNumber = v["reversionNumber"].asUInt();
  info.slaveAddr = static_cast<std::uint16_t>(v["slaveAddr"].asUInt());
  info.slaveId = v["slaveId"].asUInt();
  info.alStatus = static_cast<std::uint16_t>(v["alStatus"].asUInt());
  info.slaveName = v["slaveName"].asString();
  return info;
}

StateList stateOf(const Json::Value& v) {
  StateList state;
  state.joint_pos = doublesOf(v["joint_pos"]);
  state.cart_pos = poseOf(v["cart_pos"]);
  for (const Json::Value& e : v["digital_signals"]) {
    state.digital_signals.emplace_back(e[0].asString(), e[1].asBool());
  }
  for (const Json::Value& e : v["analog_signals"]) {
    state.analog_signals.emplace_back(e[0].asString(), e[1].asDouble());
  }
  state.operation_mode = static_cast<OperateMode>(v["operation_mode"].asInt());
  state.speed_override = v["speed_override"].asDouble();
  return state;
}

// {"error": v} is an error code of the library's category; an array is a value of a type the
// managed side does not know.
EventInfo eventOf(const Json::Value& v) {
  EventInfo info;
  for (const std::string& key : v.getMemberNames()) {
    const Json::Value& e = v[key];
    switch (e.type()) {
      case Json::intValue:
      case Json::uintValue:
        info[key] = e.asInt();
        break;
      case Json::realValue:
        info[key] = e.asDouble();
        break;
      case Json::stringValue:
        info[key] = e.asString();
        break;
      case Json::booleanValue:
        info[key] = e.asBool();
        break;
      case Json::objectValue:
        info[key] = makeErrorCode(e["error"].asInt());
        break;
      default:
        info[key] = std::vector<int>{1, 2};
        break;
    }
  }
  return info;
}

CANFrame canOf(const Json::Value& v) {
  CANFrame frame;
  frame.frame_id = v["frame_id"].asInt();
  frame.frame_format = v["frame_format"].asInt();
  frame.frame_type = v["frame_type"].asInt();
  for (const Json::Value& e : v["data"]) frame.data.push_back(static_cast<std::uint8_t>(e.asUInt()));
  frame.frame_valid_length = v["frame_valid_length"].asInt();
  return frame;
}

template <class T, class F>
std::vector<T> listOf(const Json::Value& v, F make) {
  std::vector<T> out;
  for (const Json::Value& e : v) out.push_back(make(e));
  return out;
}

// Native to JSON.

template <class C>
Json::Value jsonArray(const C& values) {
  Json::Value a(Json::arrayValue);
  for (const auto& x : values) a.append(x);
  return a;
}

Json::Value jsonOf(const Frame& frame) {
  Json::Value v;
  v["trans"] = jsonArray(frame.trans);
  v["rpy"] = jsonArray(frame.rpy);
  return v;
}

Json::Value jsonOf(const Load& load) {
  Json::Value v;
  v["mass"] = load.mass;
  v["cog"] = jsonArray(load.cog);
  v["inertia"] = jsonArray(load.inertia);
  return v;
}

Json::Value jsonOf(const CartesianPosition& pose) {
  Json::Value v = jsonOf(static_cast<const Frame&>(pose));
  v["elbow"] = pose.elbow;
  v["confData"] = jsonArray(pose.confData);
  v["external"] = jsonArray(pose.external);
  return v;
}

Json::Value jsonOf(const CartesianPosition::Offset& offset) {
  Json::Value v;
  v["type"] = static_cast<int>(offset.type);
  v["frame"] = jsonOf(offset.frame);
  return v;
}

Json::Value jsonOf(const CANFrame& frame) {
  Json::Value v;
  v["frame_id"] = frame.frame_id;
  v["frame_format"] = frame.frame_format;
  v["frame_type"] = frame.frame_type;
  Json::Value data(Json::arrayValue);
  for (std::uint8_t b : frame.data) data.append(b);
  v["data"] = data;
  v["frame_valid_length"] = frame.frame_valid_length;
  return v;
}

Json::Value jsonOf(const SDOData& item) {
  Json::Value v;
  v["index"] = item.index;
  v["sub_index"] = item.sub_index;
  v["length"] = item.length;
  v["over_time"] = item.over_time;
  v["wait_time"] = item.wait_time;
  v["print_data"] = item.print_data;
  Json::Value data(Json::arrayValue);
  for (std::uint8_t b : item.data) data.append(b);
  v["data"] = data;
  return v;
}

Json::Value jsonOf(const Toolset& toolset) {
  Json::Value v;
  v["end"] = jsonOf(toolset.end);
  v["ref"] = jsonOf(toolset.ref);
  v["load"] = jsonOf(toolset.load);
  return v;
}

Json::Value jsonOf(const std::string& text) { return Json::Value(text); }

template <class T>
Json::Value jsonOf(const std::vector<T>& list) {
  Json::Value a(Json::arrayValue);
  for (const T& e : list) a.append(jsonOf(e));
  return a;
}

std::string compact(const Json::Value& value) {
  std::string text = velmora_sim::frame(value);
  text.pop_back();
  return text;
}

template <class T>
std::string describe(const std::uint8_t* blob, std::int64_t length) {
  return compact(jsonOf(decoded<T>(blob, length)));
}

std::vector<double> flatValues(const std::uint8_t* blob, std::int64_t length, std::size_t n) {
  BlobReader r(blob, length);
  std::vector<double> values(n);
  for (double& x : values) x = r.f64();
  r.finish();
  return values;
}

std::string flatBlob(const double* values, std::size_t n) {
  BlobWriter w;
  for (std::size_t i = 0; i < n; ++i) w.f64(values[i]);
  return w.take();
}

std::string sample(int32_t kind, const Json::Value& v) {
  switch (kind) {
    case VTS_RECORD_POSE:
      return encoded(poseOf(v));
    case VTS_RECORD_INFO:
      return encoded(infoOf(v));
    case VTS_RECORD_WORKTOOLS:
      return encoded(listOf<WorkToolInfo>(v, workToolOf));
    case VTS_RECORD_LOGS:
      return encoded(listOf<LogInfo>(v, logOf));
    case VTS_RECORD_PROJECTS:
      return encoded(listOf<RLProjectInfo>(v, projectOf));
    case VTS_RECORD_SLAVES:
      return encoded(listOf<SlaveInfo>(v, slaveOf));
    case VTS_RECORD_STATE:
      return encoded(stateOf(v));
    case VTS_RECORD_EVENT:
      return encoded(eventOf(v));
    case VTS_RECORD_CAN:
      return encoded(canOf(v));
    case VTS_RECORD_TEXTS:
      return encoded(listOf<std::string>(v, [](const Json::Value& e) { return e.asString(); }));
    case VTS_RECORD_TOOLSET: {
      Toolset toolset;
      toolset.end = frameOf(v["end"]);
      toolset.ref = frameOf(v["ref"]);
      toolset.load = loadOf(v["load"]);
      double values[kToolsetValues];
      toolsetToValues(toolset, values);
      return flatBlob(values, kToolsetValues);
    }
    case VTS_RECORD_CALIBRATION: {
      FrameCalibrationResult result{frameOf(v["frame"]), arrayOf<3>(v["errors"])};
      double values[kCalibrationValues];
      calibrationToValues(result, values);
      return flatBlob(values, kCalibrationValues);
    }
    case VTS_RECORD_KEYPAD: {
      KeyPadState s;
      bool* keys[] = {&s.key1_state, &s.key2_state, &s.key3_state, &s.key4_state,
                      &s.key5_state, &s.key6_state, &s.key7_state};
      for (Json::ArrayIndex i = 0; i < kKeypadFlags; ++i) *keys[i] = v[i].asBool();
      std::uint8_t flags[kKeypadFlags];
      keypadToFlags(s, flags);
      return std::string(reinterpret_cast<const char*>(flags), kKeypadFlags);
    }
    default:
      throw std::invalid_argument("no sample of record kind " + std::to_string(kind));
  }
}

std::string describeBlob(int32_t kind, const std::uint8_t* blob, std::int64_t length) {
  switch (kind) {
    case VTS_RECORD_POSE:
      return describe<CartesianPosition>(blob, length);
    case VTS_RECORD_CAN:
      return describe<CANFrame>(blob, length);
    case VTS_RECORD_SDOS:
      return describe<std::vector<SDOData>>(blob, length);
    case VTS_RECORD_OFFSET:
      return describe<CartesianPosition::Offset>(blob, length);
    case VTS_RECORD_TEXTS:
      return describe<std::vector<std::string>>(blob, length);
    case VTS_RECORD_TOOLSET:
      return compact(jsonOf(toolsetFromValues(flatValues(blob, length, kToolsetValues).data())));
    default:
      throw std::invalid_argument("no description of record kind " + std::to_string(kind));
  }
}

}  // namespace

extern "C" {

int32_t vts_record_sample(int32_t kind, const char* json, vel_buf** blob) noexcept {
  return abiCall([&] {
    Json::Value v;
    if (!velmora_sim::parseJson(textArg(json), v)) {
      throw std::invalid_argument("not JSON: " + textArg(json));
    }
    putBuffer(blob, sample(kind, v));
  });
}

int32_t vts_record_describe(int32_t kind, const uint8_t* blob, int64_t length, vel_buf** json) noexcept {
  return abiCall([&] { putBuffer(json, describeBlob(kind, blob, length)); });
}

}  // extern "C"
