// The tool-end bus of collaborative arms: Modbus RTU registers and coils, RS485 and CAN. The
// in/out arrays go in as the caller gives them and come back whole, as the operation leaves them.

#include <string>
#include <vector>

#include "native/abi_records.h"
#include "native/operation_calls.h"

using namespace velmora;
using namespace velmora::internal;

extern "C" {

int32_t vel_cobot_modbus_rtu_reg(vel_robot* robot, int32_t slave_addr, int32_t fun_cmd, int32_t reg_addr,
                                 const char* data_type, int32_t num, const int32_t* data, int32_t count,
                                 uint8_t crc_reverse, vel_buf** result, vel_err* ec) noexcept {
  return abiCall([&] {
    required(result, "result");
    std::vector<int> values = arrayArg(data, count);
    const std::string type = textArg(data_type);
    reportCode(ec, [&](std::error_code& code) {
      visitCobot(robot, [&](BaseCobot& c) {
        c.FBRWModbusRTUReg(slave_addr, fun_cmd, reg_addr, type, num, values, crc_reverse != 0, code);
      });
    });
    BlobWriter w;
    w.count(values.size());
    for (const int v : values) w.i32(v);
    putBuffer(result, w.take());
  });
}

int32_t vel_cobot_modbus_rtu_coil(vel_robot* robot, int32_t slave_addr, int32_t fun_cmd, int32_t coil_addr, int32_t num,
                                  const uint8_t* data, int32_t count, uint8_t crc_reverse, vel_buf** result,
                                  vel_err* ec) noexcept {
  return abiCall([&] {
    required(result, "result");
    const std::vector<uint8_t> flags = arrayArg(data, count);
    std::vector<bool> coils(flags.begin(), flags.end());
    reportCode(ec, [&](std::error_code& code) {
      visitCobot(robot, [&](BaseCobot& c) {
        c.FBRWModbusRTUCoil(slave_addr, fun_cmd, coil_addr, num, coils, crc_reverse != 0, code);
      });
    });
    BlobWriter w;
    w.count(coils.size());
    for (const bool v : coils) w.flag(v);
    putBuffer(result, w.take());
  });
}

int32_t vel_cobot_rs485_send_data(vel_robot* robot, int32_t send_byte, int32_t rev_byte, const uint8_t* send,
                                  int32_t send_count, const uint8_t* recv, int32_t recv_count, vel_buf** received,
                                  vel_err* ec) noexcept {
  return abiCall([&] {
    required(received, "received");
    const std::vector<uint8_t> sent = arrayArg(send, send_count);
    std::vector<uint8_t> into = arrayArg(recv, recv_count);
    reportCode(ec, [&](std::error_code& code) {
      visitCobot(robot, [&](BaseCobot& c) { c.FBRS485SendData(send_byte, rev_byte, sent, into, code); });
    });
    putBuffer(received, std::string(into.begin(), into.end()));
  });
}

int32_t vel_cobot_can_receive(vel_robot* robot, int32_t timeout_ms, const char* data_type, vel_buf** frame,
                              vel_err* ec) noexcept {
  return abiCall([&] {
    required(frame, "frame");
    const std::string type = textArg(data_type);
    CANFrame received;
    reportCode(ec, [&](std::error_code& code) {
      visitCobot(robot, [&](BaseCobot& c) { c.CANReceiveData(timeout_ms, type, received, code); });
    });
    putBuffer(frame, encoded(received));
  });
}

int32_t vel_cobot_can_send(vel_robot* robot, const char* data_type, const uint8_t* frames, int64_t frames_length,
                           vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string type = textArg(data_type);
    const std::vector<CANFrame> sent =
        frames == nullptr ? std::vector<CANFrame>{} : decoded<std::vector<CANFrame>>(frames, frames_length);
    reportCode(
        ec, [&](std::error_code& code) { visitCobot(robot, [&](BaseCobot& c) { c.CANSendData(type, sent, code); }); });
  });
}

}  // extern "C"
