#pragma once
// The tool-end I/O board of a collaborative arm, with a Modbus RTU slave on its RS485 line and
// a CAN bus. Served keys (a test's scripts and handlers for a key still come first):
//
//   "modbusRTU.data.rw"      c  {"send_len", "rev_len", "send_data": [bytes]} ->
//                               {"data": {"rev_data": [rev_len bytes]}}: the next queued RS485
//                               answer, else the sent bytes (cut or padded with zeros)
//   "modbusRTU.coil.rw"      c  {"slave_addr", "fun_cmd" 1|2|5|15, "coil_addr", "num",
//                               "if_crc_reverse", "data_array": [num flags]} ->
//                               {"data": {"rev_data": [num flags]}}: the coils (1), discrete
//                               inputs (2) read, or the values written (5 writes the first, 15
//                               all) echoed
//   "modbusRTU.register.rw"  c  {"slave_addr", "fun_cmd" 3|4|6|16, "reg_addr", "num",
//                               "if_crc_reverse", "data_array": [num words]} ->
//                               {"data": {"data_array": [num words]}}: holding (3), input (4)
//                               registers read, or the words written (6 the first, 16 all)
//   "modbusRTU.can.send"     c  {"send_frames": [{"frame_id", "frame_format", "frame_type",
//                               "frame_valid_length", "data_array"}]} -> 0, kept in order
//   "modbusRTU.can.recv"     c  {"timeout_ms"} -> {"data": frame} of the next queued frame
//                               when it comes within the wait (the answer then waits for it),
//                               else -1 after the wait
// A request the board cannot carry out (a malformed request, more bytes or values than the
// board type allows (2 and 4 carry 128 RS485 bytes, 944 coils and 59 registers, 3 64/432/27,
// any other 16/48/3), an address range beyond 65535, a function code of the other table)
// answers {"error": text}.
//
// Accessors may be called from any thread; they share one lock with the served keys.

#include <json/value.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "velmora_sim/command_service.h"

namespace velmora_sim {

class FlangeboxBoard {
 public:
  FlangeboxBoard();
  ~FlangeboxBoard();
  FlangeboxBoard(const FlangeboxBoard&) = delete;
  FlangeboxBoard& operator=(const FlangeboxBoard&) = delete;

  /// Serves the keys above on `service`; `boardType` (asked at each request, on the
  /// simulator's thread) is the type the controller reports, which sets the limits.
  void install(CommandService& service, std::function<int()> boardType);

  /// Answers of the RS485 slave, one per exchange in order (values as sent on the wire).
  void queueRs485Answer(Json::Value bytes);
  /// The "send_data" of every exchange.
  std::vector<Json::Value> rs485Sent() const;

  enum class Table { coils, discreteInputs, holdingRegisters, inputRegisters };
  /// One slave's table entry (coils and inputs read 0 or 1); every entry is 0 at start.
  std::uint16_t value(Table table, int slave, int address) const;
  void setValue(Table table, int slave, int address, std::uint16_t value);

  /// A frame for "modbusRTU.can.recv" (the whole "data" object), on the bus `after` the
  /// request that takes it.
  void queueCanFrame(Json::Value frame, std::chrono::milliseconds after = std::chrono::milliseconds(0));
  /// Every frame object sent, in order.
  std::vector<Json::Value> canSent() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmora_sim
