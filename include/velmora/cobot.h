#pragma once
// Collaborative arms: drag teaching, path recording and replay, collision detection, force
// sensor, keypad and the tool-end I/O board with its RS485, Modbus RTU and CAN bus. Operation
// conventions are those of `BaseRobot`. The tool-end board's type ("g"
// "flangebox_support_rs485_param") is read by the first RS485 or Modbus operation and kept; it
// sets their size limits. The remembered board type and drag settings are safe to use from
// several threads.

#include <array>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include <velmora/base_robot.h>
#include <velmora/enums.h>
#include <velmora/export.h>
#include <velmora/force_control.h>
#include <velmora/robot_t.h>
#include <velmora/types.h>

namespace velmora {

/// Operations of every collaborative arm that do not depend on the joint count.
class VELMORA_API BaseCobot : virtual public BaseRobot {
 public:
  ~BaseCobot() override;

  // Drag teaching and collision detection.
  /// "c" "eci.drag" under real-time control, else "sys.drag" (after a "sys.state" query), with
  /// space, type and the drag button flag ("quick"): 259 for joint space with a type other than
  /// freely (nothing sent); the reply is the code.
  void enableDrag(DragParameter::Space space, DragParameter::Type type, std::error_code& ec,
                  bool enable_drag_button = false) noexcept;
  /// As `enableDrag` with "enable" false and the space and type of the last `enableDrag`.
  void disableDrag(std::error_code& ec) noexcept;
  /// "c" "safety.collision_detection" with {"enable": false}; the reply is the code.
  void disableCollisionDetection(std::error_code& ec) noexcept;

  // Path recording and replay.
  /// "c" "move.record.start" recording for `duration` seconds, sent as given (no check); the
  /// reply is the code.
  void startRecordPath(int duration, std::error_code& ec) noexcept;
  /// "c" "move.record.stop"; the reply is the code.
  void stopRecordPath(std::error_code& ec) noexcept;
  /// "c" "move.record.cancel"; the reply is the code.
  void cancelRecordPath(std::error_code& ec) noexcept;
  /// "c" "move.record.save" with the name and, when not empty, `saveAs`; the reply is the code;
  /// 259 for a name with a separator or that is "." or ".." (nothing sent).
  void saveRecordPath(const std::string& name, std::error_code& ec, const std::string& saveAs = "") noexcept;
  /// Queues "move.replay" of the path at `rate` behind the queued moves (progress through the
  /// moveExecution event), waiting for nothing: 255 without motion control, 262 in NrtRLTask or
  /// RtCommand mode, 259 for a rate that is not a finite number or a name with a separator or
  /// that is "." or "..".
  void replayPath(const std::string& name, double rate, std::error_code& ec) noexcept;
  /// "c" "move.record.remove" with the name, or "move.record.remove.all"; the reply is the code;
  /// 259 for a name with a separator or that is "." or ".." (nothing sent).
  void removePath(const std::string& name, std::error_code& ec, bool removeAll = false) noexcept;
  /// "g" "move.record.paths": the saved paths' names; 257 for a reply that is not a list of
  /// names.
  std::vector<std::string> queryPathLists(std::error_code& ec) noexcept;

  // Keypad, tool-end board and real-time client.
  /// "g" "device.io.keypad": the seven keys; all false when the reply is not seven values. A
  /// controller refusal (an integer reply) is its code.
  KeyPadState getKeypadState(std::error_code& ec) noexcept;
  /// "s" "eci.rci.cfg" with "protocol_version" empty when `use`, else "sdk" and the library's
  /// version; the reply is the code.
  void useRciClient(bool use, std::error_code& ec) noexcept;
  /// "s" "device.io.flangebox" with the supply voltage ("off" for a value outside the
  /// enumeration) and "mode" "rs485" or "ai"; the reply is the code.
  void setFlangeboxRS485(FlangeboxOpt::Vout opt, bool if_rs485, std::error_code& ec) noexcept;
  /// "s" "device.io.flangebox" with the supply voltage; the reply is the code.
  void setFlangeboxVout(FlangeboxOpt::Vout opt, std::error_code& ec) noexcept;

  // Tool-end bus: a controller-reported bus failure ("error") gives -1.
  /// "c" "modbusRTU.can.recv", the controller waiting up to `timeout_ms` milliseconds (the
  /// request waits that plus a margin, at least 10 s): the frame in `data_type` ("int16",
  /// "uint16" or "uint8") values; 258 for a negative `timeout_ms` or another type (nothing
  /// sent), -1 when none came, -260 for an unusable length; the frame untouched on failure.
  void CANReceiveData(int timeout_ms, std::string data_type, CANFrame& recv_frame, std::error_code& ec) noexcept;
  /// "c" "modbusRTU.can.send" with every frame: 258 when any frame's id, format, type, length,
  /// data or `data_type` is out of range (nothing sent); -1 or the code for a refusal.
  void CANSendData(std::string data_type, const std::vector<CANFrame>& send_frame, std::error_code& ec) noexcept;
  /// "c" "modbusRTU.data.rw": sends `send_data` and reads `rev_byte` bytes into `recv_data`,
  /// which must already hold that many; 258 for a count beyond the board's limit or not
  /// matching its vector.
  void FBRS485SendData(int send_byte, int rev_byte, const std::vector<std::uint8_t>& send_data,
                       std::vector<std::uint8_t>& recv_data, std::error_code& ec) noexcept;
  /// "c" "modbusRTU.coil.rw" with function 1, 2, 5 or 15 on `num` coils, read into or written
  /// from `data_array`; 258 for an address, function or count out of range or a size mismatch.
  void FBRWModbusRTUCoil(int slave_addr, int fun_cmd, int coil_addr, int num, std::vector<bool>& data_array,
                         bool if_crc_reverse, std::error_code& ec) noexcept;
  /// "c" "modbusRTU.register.rw" with function 3, 4, 6 or 16 on `num` values of `data_type`
  /// ("int16", "uint16", "int32", "uint32"); 258 as for coils or for another type.
  void FBRWModbusRTUReg(int slave_addr, int fun_cmd, int reg_addr, std::string data_type, int num,
                        std::vector<int>& data_array, bool if_crc_reverse, std::error_code& ec) noexcept;

 protected:
  BaseCobot();
};

/// A collaborative arm with `N` joints (5, 6 or 7).
template <unsigned short N>
class VELMORA_API Cobot : public Robot_T<1, N>, public BaseCobot {
 public:
  ~Cobot() override;

  /// A new force-control object over this robot's command link; sends "eci.fc.set_callback"
  /// (blocks up to 10 s, outcome ignored).
  ForceControl_T<N> forceControl();
  /// "c" "safety.collision_detection" with the N sensitivities and the behaviour ("stop1";
  /// "pause" for stop2; "fcimpedstop" with the compliance capped at 1.0 for suppleStop): 264
  /// for -1 (already on), another integer reply the code.
  void enableCollisionDetection(const std::array<double, N>& sensitivity, StopLevel behaviour,
                                double fallback_compliance, std::error_code& ec) noexcept;
  /// "c" "utils.calibrate_force_sensor" for all axes or axis `axis_index` (0 to N-1, else 258);
  /// the reply is the code.
  void calibrateForceSensor(bool all_axes, int axis_index, std::error_code& ec) noexcept;

 protected:
  Cobot();
};

extern template class Cobot<5>;
extern template class Cobot<6>;
extern template class Cobot<7>;

}  // namespace velmora
