// The tool-end board's CAN bus against the simulated board: frames on the wire for each data
// type and frame kind, the refusals (nothing sent), the controller's answers, and received
// frames of every shape a controller could send.
#include <gmock/gmock.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

constexpr int kClassic = 2;
constexpr int kFd = 1;

CANFrame frame(int id, int format, int type, Bytes data, int length = -100) {
  CANFrame f;
  f.frame_id = id;
  f.frame_format = format;
  f.frame_type = type;
  f.frame_valid_length = length == -100 ? static_cast<int>(data.size()) : length;
  f.data = std::move(data);
  return f;
}

Bytes counting(int n) {
  Bytes data;
  for (int i = 1; i <= n; ++i) data.push_back(static_cast<std::uint8_t>(i));
  return data;
}

class CanTest : public RobotOpsTest {
 protected:
  std::error_code send(const std::string& type, const std::vector<CANFrame>& frames) {
    std::error_code ec;
    robot().CANSendData(type, frames, ec);
    return ec;
  }
  std::error_code receive(const std::string& type, CANFrame& into, int timeout_ms = 100) {
    std::error_code ec;
    robot().CANReceiveData(timeout_ms, type, into, ec);
    return ec;
  }
};

TEST_F(CanTest, FramesOnTheWire) {
  // 16-bit values travel as byte pairs, low byte first.
  EXPECT_FALSE(send("uint16", {frame(0x123, 0, kClassic, {1, 2, 3, 4})}));
  EXPECT_THAT(last("modbusRTU.can.send").raw,
              ::testing::HasSubstr(R"({"send_frames":[{"data_array":[1,0,2,0,3,0,4,0],"frame_format":0,)"
                                   R"("frame_id":291,"frame_type":2,"frame_valid_length":8}]})"));
  EXPECT_EQ(last("modbusRTU.can.send").form, Form::command);

  // Two frames, each with its own data only.
  EXPECT_FALSE(send("uint8", {frame(0x1FFFFFFF, 1, kFd, counting(12)), frame(0x7FF, 0, 0, {9})}));
  EXPECT_THAT(last("modbusRTU.can.send").payload, JsonIs(R"({"send_frames": [
                {"frame_id": 536870911, "frame_format": 1, "frame_type": 1, "frame_valid_length": 12,
                 "data_array": [1,2,3,4,5,6,7,8,9,10,11,12]},
                {"frame_id": 2047, "frame_format": 0, "frame_type": 0, "frame_valid_length": 1,
                 "data_array": [9]}]})"));
  EXPECT_EQ(sim().board().canSent().size(), 3u);

  // Every length each kind allows reaches the board, which checks it again.
  struct Allowed {
    const char* type;
    int kind;
    std::vector<int> lengths;
  };
  const Allowed allowed[] = {
      {"int16", kClassic, {0, 1, 2, 3, 4}},
      {"uint8", kClassic, {0, 5, 8}},
      {"int16", kFd, {0, 4, 6, 8, 10, 12, 16, 24, 32}},
      {"uint8", 0, {0, 8, 12, 16, 20, 24, 32, 48, 64}},
  };
  for (const auto& a : allowed) {
    for (const int length : a.lengths) {
      SCOPED_TRACE(std::string(a.type) + " " + std::to_string(a.kind) + " " + std::to_string(length));
      EXPECT_FALSE(send(a.type, {frame(1, 0, a.kind, counting(length))}));
    }
  }
  // An empty list is sent as one.
  EXPECT_FALSE(send("uint8", {}));
  EXPECT_THAT(last("modbusRTU.can.send").payload, JsonIs(R"({"send_frames": []})"));
}

TEST_F(CanTest, RefusedFramesSendNothing) {
  LogCapture global;
  struct Case {
    const char* name;
    const char* type;
    std::vector<CANFrame> frames;
    const char* line;
  };
  const Case cases[] = {
      {"negative id",
       "uint8",
       {frame(-1, 0, kClassic, {1})},
       "CANSendData error: Parameter frame_id out of range | (258)"},
      {"standard id beyond 11 bits", "uint8", {frame(0x800, 0, kClassic, {1})}, "frame_id out of range"},
      {"extended id beyond 29 bits", "uint8", {frame(0x20000000, 1, kFd, {1})}, "frame_id out of range"},
      {"format",
       "uint8",
       {frame(1, 2, kClassic, {1})},
       "CANSendData error: Parameter frame_format out of range | (258)"},
      {"kind", "uint8", {frame(1, 0, 3, {1})}, "CANSendData error: Parameter frame_type out of range | (258)"},
      {"classic words 5",
       "uint16",
       {frame(1, 0, kClassic, counting(5))},
       "the data_type is int16/uint16, length range is 0-4  | (258)"},
      {"classic bytes 9",
       "uint8",
       {frame(1, 0, kClassic, counting(9))},
       "the data_type is uint8, length range is 0-8  | (258)"},
      {"fd negative", "uint8", {frame(1, 0, kFd, {}, -1)}, "Parameter frame_valid_length exceeds the limit  | (258)"},
      {"fd words 5",
       "int16",
       {frame(1, 0, kFd, counting(5))},
       "the data_type is int16/uint16, length range is (0-4)/6/8/10/12/16/24/32 | (258)"},
      {"fd words 64", "int16", {frame(1, 0, 0, counting(64))}, "length range is (0-4)/6/8/10/12/16/24/32"},
      {"fd bytes 10",
       "uint8",
       {frame(1, 0, kFd, counting(10))},
       "the data_type is uint8, length range is (0-8)/12/16/20/24/32/48/64 | (258)"},
      {"fd bytes 65", "uint8", {frame(1, 0, kFd, counting(65))}, "length range is (0-8)/12/16/20/24/32/48/64"},
      {"data shorter",
       "uint8",
       {frame(1, 0, kClassic, {1, 2}, 3)},
       "CANSendData error: Parameter data does not match frame_valid_length | (258)"},
      {"data longer", "uint8", {frame(1, 0, kClassic, {1, 2, 3}, 2)}, "data does not match frame_valid_length"},
      {"second frame", "uint8", {frame(1, 0, kClassic, {1}), frame(1, 0, kClassic, {1}, 9)}, "length range is 0-8"},
      // Another type would send a frame without its data.
      {"unknown type",
       "float",
       {frame(1, 0, kClassic, {1})},
       "CANSendData error: Parameter data_type out of range | (258)"},
      {"type case", "UINT8", {frame(1, 0, kClassic, {1})}, "data_type out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(send(c.type, c.frames).value(), 258);
    EXPECT_TRUE(global.contains(c.line));
  }
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(CanTest, ControllerAnswersToASend) {
  struct Case {
    const char* name;
    Behaviour answer;
    int code;
  };
  const Case cases[] = {
      {"zero", Behaviour::reply(0), 0},
      {"null", Behaviour::reply(Json::Value()), 0},
      {"object", Behaviour::reply(parseJson(R"({"data": true})")), 0},
      {"error null", Behaviour::reply(parseJson(R"({"error": null})")), 0},
      {"text", Behaviour::reply("sent"), 0},
      {"bus off", Behaviour::reply(parseJson(R"({"error": "bus off"})")), -1},
      {"refusal", Behaviour::reply(-3), -3},
      {"no reply", Behaviour::silent(), 263},
  };
  useRequestWait(milliseconds(200));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(Form::command, "modbusRTU.can.send", c.answer.times(1));
    EXPECT_EQ(send("uint8", {frame(5, 0, kClassic, {1, 2})}).value(), c.code);
  }
}

TEST_F(CanTest, ReceivedFramesByDataType) {
  LogCapture global;
  sim().board().queueCanFrame(parseJson(R"({"frame_id": 77, "frame_format": 1, "frame_type": 2,
                                            "frame_valid_length": 5, "data_array": [10, 0, 20, 0, 30]})"));
  CANFrame got;
  EXPECT_FALSE(receive("int16", got, 1500));
  EXPECT_THAT(last("modbusRTU.can.recv").payload, JsonIs(R"({"timeout_ms": 1500})"));
  EXPECT_EQ(got.frame_id, 77);
  EXPECT_EQ(got.frame_format, 1);
  EXPECT_EQ(got.frame_type, 2);
  EXPECT_EQ(got.data, (Bytes{10, 20}));  // complete pairs only, their low byte
  EXPECT_EQ(got.frame_valid_length, 2);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 |  CANReceiveData data:30"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 |  CANReceiveData end, ec:0"));

  // Values beyond a byte, negative ones included, keep their low byte; missing ids read 0.
  sim().board().queueCanFrame(parseJson(R"({"frame_valid_length": 3, "data_array": [1, 300, -1, 99]})"));
  EXPECT_FALSE(receive("uint8", got));
  EXPECT_EQ(got.frame_id, 0);
  EXPECT_EQ(got.data, (Bytes{1, 44, 255}));
  EXPECT_EQ(got.frame_valid_length, 3);

  // The largest payload, and an empty frame.
  Json::Value big = parseJson(R"({"frame_id": 1, "frame_valid_length": 64})");
  for (int i = 0; i < 64; ++i) big["data_array"].append(i);
  sim().board().queueCanFrame(big);
  EXPECT_FALSE(receive("uint8", got));
  EXPECT_EQ(got.data.size(), 64u);
  sim().board().queueCanFrame(parseJson(R"({"frame_id": 2, "frame_valid_length": 0})"));
  EXPECT_FALSE(receive("uint16", got));
  EXPECT_EQ(got.frame_id, 2);
  EXPECT_TRUE(got.data.empty());
}

TEST_F(CanTest, NoFrameOrAnUnusableOneLeavesTheRecordAlone) {
  LogCapture global;
  struct Case {
    const char* name;
    Behaviour answer;
    int code;
  };
  const Case cases[] = {
      {"not an object", Behaviour::reply(-1), -1},
      {"text", Behaviour::reply("none"), -1},
      {"bus error", Behaviour::reply(parseJson(R"({"error": "timeout", "data": {"frame_id": 3}})")), -1},
      {"no data", Behaviour::reply(parseJson("{}")), -1},
      {"no reply", Behaviour::silent(), -1},
      {"data not an object", Behaviour::reply(parseJson(R"({"data": [1, 2]})")), -260},
      {"huge length", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 1000000,
                                                  "data_array": [1, 2]}})")),
       -260},
      {"huge length with values",
       Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 2147483647, "data_array": [1]}})")), -260},
      {"length beyond int", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 1e30}})")), -260},
      {"negative length", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": -1}})")), -260},
      {"fewer values", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 4, "data_array": [1, 2]}})")),
       -260},
      {"values not a list", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 1, "data_array": 5}})")),
       -260},
      {"text value", Behaviour::reply(parseJson(R"({"data": {"frame_valid_length": 2, "data_array": [1, "2"]}})")),
       -260},
      {"text id", Behaviour::reply(parseJson(R"({"data": {"frame_id": "7", "frame_valid_length": 0}})")), -260},
      {"fraction type", Behaviour::reply(parseJson(R"({"data": {"frame_type": 1.5, "frame_valid_length": 0}})")), -260},
  };
  useRequestWait(milliseconds(200));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(Form::command, "modbusRTU.can.recv", c.answer.times(1));
    CANFrame got = frame(9, 1, 0, {4, 5});
    EXPECT_EQ(receive("uint8", got, 0).value(), c.code);
    EXPECT_EQ(got.frame_id, 9);
    EXPECT_EQ(got.data, (Bytes{4, 5}));
    EXPECT_EQ(got.frame_valid_length, 2);
  }
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 | CANReceiveData warning : No data received after timeout | (-1)"));

  // Nothing on the bus within the wait: the board answers after it.
  CANFrame got;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(receive("uint8", got, 150).value(), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(150));
}

TEST_F(CanTest, TheRequestWaitsForTheControllersReceiveWait) {
  // The request's own wait is shorter than the receive's: the frame coming late still counts.
  useRequestWait(milliseconds(200));
  sim().board().queueCanFrame(parseJson(R"({"frame_id": 4, "frame_valid_length": 1, "data_array": [8]})"),
                              milliseconds(600));
  CANFrame got;
  EXPECT_FALSE(receive("uint8", got, 1000));
  EXPECT_EQ(got.data, Bytes{8});

  // The longest wait a caller can give goes out as it is, and adding the margin to it overflows
  // nothing: a frame already on the bus still comes back at once.
  sim().board().queueCanFrame(parseJson(R"({"frame_id": 5, "frame_valid_length": 1, "data_array": [9]})"));
  EXPECT_FALSE(receive("uint8", got, std::numeric_limits<int>::max()));
  EXPECT_THAT(last("modbusRTU.can.recv").payload, JsonIs(R"({"timeout_ms": 2147483647})"));
  EXPECT_EQ(got.data, Bytes{9});
}

TEST_F(CanTest, RefusedReceivesSendNothing) {
  CANFrame got = frame(9, 0, 2, {1});
  EXPECT_EQ(receive("uint8", got, -1).value(), 258);
  EXPECT_EQ(receive("uint8", got, std::numeric_limits<int>::min()).value(), 258);
  // A frame taken off the bus for a type that keeps no data would be lost.
  EXPECT_EQ(receive("float", got).value(), 258);
  EXPECT_EQ(command().log().size(), 0u);
  EXPECT_EQ(got.data, Bytes{1});
}

}  // namespace
}  // namespace velmora
