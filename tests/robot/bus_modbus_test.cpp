// The tool-end board's raw RS485 exchange and Modbus RTU coils and registers against the
// simulated board and its slave: the board type's limits, what goes on the wire, the refusals
// (nothing sent) and hostile answers.
#include <gmock/gmock.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "robot/robot_fixture.h"
#include "support/link_options.h"
#include "support/log_capture.h"

namespace velmora {
namespace {

using velmora_sim::Behaviour;
using velmora_sim::Form;
using Table = velmora_sim::FlangeboxBoard::Table;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kTypeKey = "flangebox_support_rs485_param";

class BusTest : public RobotOpsTest {
 protected:
  /// The raw text of the last request of `key`.
  std::string raw(const std::string& key) { return last(key).raw; }

  std::error_code rs485(BaseCobot& robot, const Bytes& out, Bytes& in) {
    std::error_code ec;
    robot.FBRS485SendData(static_cast<int>(out.size()), static_cast<int>(in.size()), out, in, ec);
    return ec;
  }
  std::error_code coils(int function, int address, int num, std::vector<bool>& data, int slave = 1) {
    std::error_code ec;
    robot().FBRWModbusRTUCoil(slave, function, address, num, data, true, ec);
    return ec;
  }
  std::error_code registers(int function, int address, const char* type, int num, std::vector<int>& data,
                            int slave = 1) {
    std::error_code ec;
    robot().FBRWModbusRTUReg(slave, function, address, type, num, data, false, ec);
    return ec;
  }
};

TEST_F(BusTest, BoardTypeSetsTheLimitsAndIsAskedUntilKnown) {
  struct Case {
    int type;
    int bytes, coils, registers;
  };
  const Case cases[] = {{2, 128, 944, 59}, {4, 128, 944, 59}, {3, 64, 432, 27}, {0, 16, 48, 3}, {7, 16, 48, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    sim().robotConfig().setFlangeBoxType(c.type);
    OstraMaxRobot arm(address(), address());
    command().log().clear();
    auto atLimit = [&](int extra) {
      std::vector<std::error_code> codes;
      Bytes in(static_cast<std::size_t>(c.bytes + extra));
      codes.push_back(rs485(arm, Bytes(static_cast<std::size_t>(c.bytes + extra), 0x55), in));
      std::error_code ec;
      std::vector<bool> bits(static_cast<std::size_t>(c.coils + extra));
      arm.FBRWModbusRTUCoil(1, 1, 0, c.coils + extra, bits, false, ec);
      codes.push_back(ec);
      std::vector<int> words(static_cast<std::size_t>(c.registers + extra));
      arm.FBRWModbusRTUReg(1, 3, 0, "uint16", c.registers + extra, words, false, ec);
      codes.push_back(ec);
      std::vector<int> wide(static_cast<std::size_t>(c.registers / 2 + extra));
      arm.FBRWModbusRTUReg(1, 4, 0, "int32", c.registers / 2 + extra, wide, false, ec);
      codes.push_back(ec);
      return codes;
    };
    for (const auto& ec : atLimit(0)) EXPECT_FALSE(ec) << ec.value();
    const std::size_t sent = command().log().size();
    for (const auto& ec : atLimit(1)) EXPECT_EQ(ec.value(), 258);
    EXPECT_EQ(command().log().size(), sent);
    EXPECT_EQ(command().log().count(kTypeKey), 1u);
  }

  // A failed read: the smallest limits for this call, asked again by the next.
  OstraMaxRobot arm(address(), address());
  sim().robotConfig().setFlangeBoxType(3);
  command().log().clear();
  command().script(Form::get, kTypeKey, Behaviour::reply("three").times(1));
  Bytes in(17);
  EXPECT_EQ(rs485(arm, Bytes(17), in).value(), 258);
  EXPECT_FALSE(rs485(arm, Bytes(64), in = Bytes(64)));
  EXPECT_FALSE(rs485(arm, Bytes(1), in = Bytes(1)));
  EXPECT_EQ(command().log().count(kTypeKey), 2u);
}

TEST_F(BusTest, BoardTypeIsFilledOnceFromSeveralThreads) {
  LogCapture global;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        Bytes in(100);
        if (rs485(robot(), Bytes(100, static_cast<std::uint8_t>(t)), in) ||
            in != Bytes(100, static_cast<std::uint8_t>(t))) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GE(command().log().count(kTypeKey), 1u);
  EXPECT_LE(command().log().count(kTypeKey), 4u);
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 |  FBRS485SendData valid_size  | (128)"));
  EXPECT_TRUE(global.contains("uid: VELSIM00-0001 |  FBRS485SendData end, ec:0"));
}

TEST_F(BusTest, Rs485ExchangeOnTheWire) {
  sim().board().queueRs485Answer(parseJson("[300, -1, 7]"));
  Bytes in(3, 9);
  EXPECT_FALSE(rs485(robot(), {1, 2, 255}, in));
  EXPECT_EQ(in, (Bytes{44, 255, 7}));  // the low byte of what the slave's line carried
  EXPECT_THAT(raw("modbusRTU.data.rw"), ::testing::HasSubstr(R"({"rev_len":3,"send_data":[1,2,255],"send_len":3})"));
  EXPECT_EQ(last("modbusRTU.data.rw").form, Form::command);

  // Sizes that do not match the vectors: nothing sent.
  command().log().clear();
  std::error_code ec;
  Bytes empty;
  robot().FBRS485SendData(0, 4, {}, empty, ec);
  EXPECT_EQ(ec.value(), 258);
  robot().FBRS485SendData(2, 0, {1, 2, 3}, empty, ec);
  EXPECT_EQ(ec.value(), 258);
  robot().FBRS485SendData(-1, 0, {}, empty, ec);
  EXPECT_EQ(ec.value(), 258);
  EXPECT_EQ(command().log().count("modbusRTU.data.rw"), 0u);
}

TEST_F(BusTest, Rs485AnswersOfEveryShape) {
  struct Case {
    const char* name;
    Behaviour answer;
    int code;
    Bytes result;
  };
  const Case cases[] = {
      {"error", Behaviour::reply(parseJson(R"({"error": "crc", "data": {"rev_data": [1, 2]}})")), -1, {}},
      {"error null", Behaviour::reply(parseJson(R"({"error": null, "data": {"rev_data": [1, 2]}})")), 0, {1, 2}},
      {"refusal", Behaviour::reply(-7), -7, {}},
      {"zero", Behaviour::reply(0), -260, {}},
      {"text", Behaviour::reply("x"), -260, {}},
      {"short", Behaviour::reply(parseJson(R"({"data": {"rev_data": [1]}})")), -260, {}},
      {"no data", Behaviour::reply(parseJson(R"({"data": 5})")), -260, {}},
      {"text byte", Behaviour::reply(parseJson(R"({"data": {"rev_data": [1, "2"]}})")), -260, {}},
      {"fraction", Behaviour::reply(parseJson(R"({"data": {"rev_data": [1, 2.5]}})")), -260, {}},
      {"huge", Behaviour::reply(parseJson(R"({"data": {"rev_data": [1e300, 2]}})")), -260, {}},
      {"longer", Behaviour::reply(parseJson(R"({"data": {"rev_data": [4, 5, 6, 7]}})")), 0, {4, 5}},
      {"no reply", Behaviour::silent(), 263, {0, 0}},
  };
  useRequestWait(std::chrono::milliseconds(200));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command().script(Form::command, "modbusRTU.data.rw", c.answer.times(1));
    Bytes in{9, 9};
    EXPECT_EQ(rs485(robot(), {1}, in).value(), c.code);
    EXPECT_EQ(in, c.result);
  }
}

TEST_F(BusTest, CoilsOfEveryFunctionCode) {
  // 15 writes, 1 reads them back, 2 reads the inputs, 5 writes one.
  std::vector<bool> bits{true, false, true};
  EXPECT_FALSE(coils(15, 10, 3, bits, 3));
  EXPECT_EQ(bits, (std::vector<bool>{true, false, true}));
  EXPECT_THAT(raw("modbusRTU.coil.rw"),
              ::testing::HasSubstr(R"({"coil_addr":10,"data_array":[true,false,true],"fun_cmd":15,)"
                                   R"("if_crc_reverse":true,"num":3,"slave_addr":3})"));
  EXPECT_EQ(sim().board().value(Table::coils, 3, 12), 1);

  std::vector<bool> read(3);
  EXPECT_FALSE(coils(1, 10, 3, read, 3));
  EXPECT_EQ(read, (std::vector<bool>{true, false, true}));

  sim().board().setValue(Table::discreteInputs, 3, 100, 1);
  std::vector<bool> inputs(2);
  EXPECT_FALSE(coils(2, 99, 2, inputs, 3));
  EXPECT_EQ(inputs, (std::vector<bool>{false, true}));

  // A single write with a longer array sends its first value and keeps what came back.
  std::vector<bool> single{true, false, false};
  EXPECT_FALSE(coils(5, 11, 1, single, 3));
  EXPECT_THAT(last("modbusRTU.coil.rw").payload["data_array"], JsonIs("[true]"));
  EXPECT_EQ(single, (std::vector<bool>{true}));
  EXPECT_EQ(sim().board().value(Table::coils, 3, 11), 1);

  // The slave address keeps its full range; 0 is the broadcast.
  std::vector<bool> none;
  EXPECT_FALSE(coils(15, 0, 0, none, 65535));
  EXPECT_FALSE(coils(15, 0, 0, none, 0));
}

TEST_F(BusTest, RegistersOfEveryFunctionCodeAndType) {
  // 32-bit values: low word, then high word.
  std::vector<int> wide{1, 0x12345678, -2, -1};
  EXPECT_FALSE(registers(16, 100, "uint32", 4, wide, 7));
  EXPECT_THAT(raw("modbusRTU.register.rw"),
              ::testing::HasSubstr(R"({"data_array":[1,0,22136,4660,65534,65535,65535,65535],"fun_cmd":16,)"
                                   R"("if_crc_reverse":false,"num":8,"reg_addr":100,"slave_addr":7})"));
  EXPECT_EQ(wide, (std::vector<int>{1, 0x12345678, -2, -1}));
  EXPECT_EQ(sim().board().value(Table::holdingRegisters, 7, 103), 0x1234);

  std::vector<int> back(4);
  EXPECT_FALSE(registers(3, 100, "int32", 4, back, 7));
  EXPECT_EQ(back, (std::vector<int>{1, 0x12345678, -2, -1}));

  // 16-bit registers come back zero-extended, "int16" as well.
  std::vector<int> narrow(2);
  EXPECT_FALSE(registers(3, 104, "int16", 2, narrow, 7));
  EXPECT_EQ(narrow, (std::vector<int>{65534, 65535}));  // the words of -2
  std::vector<int> negative{-1, 70000};
  EXPECT_FALSE(registers(16, 0, "uint16", 2, negative));
  EXPECT_THAT(last("modbusRTU.register.rw").payload["data_array"], JsonIs("[65535, 4464]"));
  EXPECT_EQ(negative, (std::vector<int>{65535, 4464}));

  sim().board().setValue(Table::inputRegisters, 1, 5, 4321);
  std::vector<int> input(1);
  EXPECT_FALSE(registers(4, 5, "uint16", 1, input));
  EXPECT_EQ(input, std::vector<int>{4321});

  // The single write sends the first value of a longer array.
  std::vector<int> single{7, 8};
  EXPECT_FALSE(registers(6, 9, "int16", 1, single));
  EXPECT_THAT(last("modbusRTU.register.rw").payload, JsonIs(R"({"slave_addr": 1, "fun_cmd": 6, "reg_addr": 9,
      "num": 1, "if_crc_reverse": false, "data_array": [7]})"));
  EXPECT_EQ(single, std::vector<int>{7});
  EXPECT_EQ(sim().board().value(Table::holdingRegisters, 1, 9), 7);
}

TEST_F(BusTest, RefusedModbusRequestsSendNothing) {
  LogCapture global;
  struct Case {
    const char* name;
    std::function<std::error_code()> call;
    const char* line;
  };
  std::vector<bool> three(3), empty;
  std::vector<int> words(2), none;
  const Case cases[] = {
      {"coil slave low", [&] { return coils(1, 0, 3, three, -1); },
       "FBRWModbusRTUCoil error: Parameter slaver_addr out of range | (258)"},
      {"coil slave high", [&] { return coils(1, 0, 3, three, 65536); }, "slaver_addr out of range"},
      {"coil function 3", [&] { return coils(3, 0, 3, three); },
       "FBRWModbusRTUCoil error: Parameter fun_cmd out of range"},
      {"coil function 16", [&] { return coils(16, 0, 3, three); }, "fun_cmd out of range"},
      {"coil address", [&] { return coils(1, 65536, 3, three); }, "Parameter coi_addr out of range"},
      {"coil address low", [&] { return coils(1, -1, 3, three); }, "Parameter coi_addr out of range"},
      {"coil num", [&] { return coils(1, 0, -1, three); }, "FBRWModbusRTUCoil error: Parameter num out of range"},
      {"coil size", [&] { return coils(15, 0, 2, three); }, "Parameter data_array does not match num  | (258)"},
      // The single write takes num values: never from a shorter array.
      {"coil single short", [&] { return coils(5, 0, 3, empty); }, "Parameter data_array does not match num"},
      {"reg slave", [&] { return registers(3, 0, "int16", 2, words, 70000); },
       "FBRWModbusRTUReg error: Parameter slaver_addr"},
      {"reg function 5", [&] { return registers(5, 0, "int16", 2, words); },
       "FBRWModbusRTUReg error: Parameter fun_cmd out of range"},
      {"reg address", [&] { return registers(3, 65536, "int16", 2, words); }, "Parameter reg_addr out of range"},
      {"reg type", [&] { return registers(3, 0, "float", 2, words); }, "Parameter data_type out of range  | (258)"},
      {"reg type case", [&] { return registers(3, 0, "INT16", 2, words); }, "Parameter data_type out of range"},
      {"reg int32 single", [&] { return registers(6, 0, "int32", 1, words); },
       "Parameter num does not match data_type  | (258)"},
      {"reg int16 num", [&] { return registers(3, 0, "int16", -1, words); },
       "Parameter num does not match data_type | (258)"},
      {"reg size", [&] { return registers(16, 0, "uint16", 3, words); },
       "FBRWModbusRTUReg error: Parameter data_array does not match num | (258)"},
      {"reg single short", [&] { return registers(6, 0, "uint16", 1, none); },
       "Parameter data_array does not match num"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call().value(), 258);
    EXPECT_TRUE(global.contains(c.line));
  }
  EXPECT_EQ(command().log().count("modbusRTU.coil.rw") + command().log().count("modbusRTU.register.rw"), 0u);
  EXPECT_EQ(three, std::vector<bool>(3));
  EXPECT_EQ(words, std::vector<int>(2));
}

TEST_F(BusTest, ModbusAnswersOfEveryShapeLeaveTheArrayOnFailure) {
  struct Case {
    const char* name;
    Behaviour answer;
    int code;
  };
  const Case coilCases[] = {
      {"error", Behaviour::reply(parseJson(R"({"error": 2, "data": {"rev_data": [false, false]}})")), -1},
      {"refusal", Behaviour::reply(-7), -7},
      {"zero", Behaviour::reply(0), -260},
      {"array", Behaviour::reply(parseJson("[true, true]")), -260},
      {"short", Behaviour::reply(parseJson(R"({"data": {"rev_data": [false]}})")), -260},
      {"wrong member", Behaviour::reply(parseJson(R"({"data": {"data_array": [false, false]}})")), -260},
      {"text value", Behaviour::reply(parseJson(R"({"data": {"rev_data": [false, "no"]}})")), -260},
      {"object value", Behaviour::reply(parseJson(R"({"data": {"rev_data": [false, {}]}})")), -260},
      {"no reply", Behaviour::silent(), 263},
  };
  useRequestWait(std::chrono::milliseconds(200));
  for (const auto& c : coilCases) {
    SCOPED_TRACE(c.name);
    command().script(Form::command, "modbusRTU.coil.rw", c.answer.times(1));
    std::vector<bool> bits{true, true};
    EXPECT_EQ(coils(15, 0, 2, bits).value(), c.code);
    // A retried write sends what the caller gave, not zeros.
    EXPECT_EQ(bits, (std::vector<bool>{true, true}));
  }
  const Case registerCases[] = {
      {"error", Behaviour::reply(parseJson(R"({"error": "timeout"})")), -1},
      {"refusal", Behaviour::reply(3), 3},
      {"short", Behaviour::reply(parseJson(R"({"data": {"data_array": [1, 2, 3]}})")), -260},
      {"wrong member", Behaviour::reply(parseJson(R"({"data": {"rev_data": [1, 2, 3, 4]}})")), -260},
      {"text word", Behaviour::reply(parseJson(R"({"data": {"data_array": [1, 2, "3", 4]}})")), -260},
      {"flag word", Behaviour::reply(parseJson(R"({"data": {"data_array": [1, 2, true, 4]}})")), -260},
      {"no reply", Behaviour::silent(), 263},
  };
  for (const auto& c : registerCases) {
    SCOPED_TRACE(c.name);
    command().script(Form::command, "modbusRTU.register.rw", c.answer.times(1));
    std::vector<int> values{5, 6};
    EXPECT_EQ(registers(16, 0, "int32", 2, values).value(), c.code);
    EXPECT_EQ(values, (std::vector<int>{5, 6}));
  }
  // Hostile but readable: negative and oversized words keep their low 16 bits, extra words
  // are not read.
  command().script(Form::command, "modbusRTU.register.rw",
                   Behaviour::reply(parseJson(R"({"data": {"data_array": [-1, 65537, 3, 4, 5, 6, 7]}})")).times(1));
  std::vector<int> values(2);
  EXPECT_FALSE(registers(3, 0, "uint32", 2, values));
  EXPECT_EQ(values, (std::vector<int>{static_cast<int>(0x0001FFFFu), 0x00040003}));

  // The link lost in the middle of the exchange.
  command().script(Form::command, "modbusRTU.coil.rw", Behaviour::drop().times(1));
  std::vector<bool> bits{true};
  EXPECT_EQ(coils(15, 0, 1, bits).value(), 256);
  EXPECT_EQ(bits, std::vector<bool>{true});
}

}  // namespace
}  // namespace velmora
