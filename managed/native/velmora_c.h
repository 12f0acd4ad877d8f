#ifndef VELMORA_C_H
#define VELMORA_C_H
/* Flat C interface of libvelmora.so for the .NET layer (velmora.clr.dll). Every export keeps
 * these rules, so no C++ exception ever reaches the managed runtime (one that did would abort
 * the process):
 *
 * - It returns an int32_t status: VEL_OK, VEL_STD_EXCEPTION (a std::exception was caught; its
 *   what() text is kept for vel_take_last_exception on the same thread) or
 *   VEL_UNKNOWN_EXCEPTION (anything else; the kept text is a fixed one). Outputs are valid only
 *   on VEL_OK.
 * - Results come back through pointer parameters that the caller provides.
 * - Text in is UTF-8 and NUL-terminated; a null pointer is the empty text. Text and compound
 *   data out are vel_buf handles (exact bytes, NUL bytes included) that the caller frees.
 * - Flags cross as uint8_t (0 false, anything else true); fixed-size records cross as flat
 *   double arrays (frame 6: trans, rpy; load 7: mass, cog, inertia; tool set 19: end, ref, load;
 *   frame calibration 9: frame, errors); joints as a double pointer and a count, checked against
 *   the arm's joint count (fewer is refused with 259, more are cut); everything of variable size
 *   as a little-endian blob (see native/abi_codec.h).
 * - Error codes of operations cross as vel_err; the message comes from vel_error_message.
 * - Native objects cross as opaque handles, each with its vel_<kind>_destroy (null is allowed);
 *   every live handle, vel_buf included, is counted by vel_debug_live_handles.
 */

#include <stdint.h>

#ifdef __cplusplus
#define VEL_NOEXCEPT noexcept
extern "C" {
#else
#define VEL_NOEXCEPT
#endif

#define VEL_API __attribute__((visibility("default")))

#define VEL_OK 0
#define VEL_STD_EXCEPTION 1
#define VEL_UNKNOWN_EXCEPTION 2

/* Category of a vel_err: the operation ran nothing (system, value 0), the library's own
 * category ("Tarvik-SDK"), the generic POSIX one, or any other (its message is kept per thread
 * for the next vel_error_message of that category). */
#define VEL_CATEGORY_SYSTEM 0
#define VEL_CATEGORY_SDK 1
#define VEL_CATEGORY_GENERIC 2
#define VEL_CATEGORY_OTHER 3

typedef struct vel_err {
  int32_t value;
  int32_t category;
} vel_err;

/* Native-owned bytes: a text or an encoded record. */
typedef struct vel_buf vel_buf;

/* The bytes of a buffer; they stay valid until vel_buf_free. */
VEL_API int32_t vel_buf_view(const vel_buf* buf, const uint8_t** data, int64_t* length) VEL_NOEXCEPT;
VEL_API int32_t vel_buf_free(vel_buf* buf) VEL_NOEXCEPT;

/* The text of the last exception caught on this thread, taken (a second call gives null), or
 * null when there is none. */
VEL_API int32_t vel_take_last_exception(vel_buf** text) VEL_NOEXCEPT;

/* The message of an error code, in the language in force now. */
VEL_API int32_t vel_error_message(int32_t value, int32_t category, vel_buf** text) VEL_NOEXCEPT;

/* The library's version, "0.7.1". */
VEL_API int32_t vel_sdk_version(vel_buf** text) VEL_NOEXCEPT;

/* How many handles are alive now (buffers included). */
VEL_API int32_t vel_debug_live_handles(int64_t* count) VEL_NOEXCEPT;

/* ---- Robots ---------------------------------------------------------------------------- */

/* A native robot of one arm class with its kinematics model. */
typedef struct vel_robot vel_robot;

/* Arm classes, in the order the managed layer tests them. */
#define VEL_ROBOT_SORN3 0
#define VEL_ROBOT_SORN4 1
#define VEL_ROBOT_STANDARD 2
#define VEL_ROBOT_OSTRA_LITE 3
#define VEL_ROBOT_OSTRA 4
#define VEL_ROBOT_OSTRA_MAX 5
#define VEL_ROBOT_LYN 6

/* Constructor forms: without arguments (connects nothing), the controller's address alone (the
 * local address is ""), both addresses (not for Sorn3 and Sorn4). */
#define VEL_CONSTRUCT_UNCONNECTED 0
#define VEL_CONSTRUCT_REMOTE 1
#define VEL_CONSTRUCT_REMOTE_LOCAL 2

/* Builds the robot (connecting it when the form has an address), then its model. A failure
 * leaves nothing behind: the status is VEL_STD_EXCEPTION with the native text (an unreachable
 * or incompatible controller) and *robot stays untouched. `id` names the robot for its whole
 * life and is never reused in the process. */
VEL_API int32_t vel_robot_create(int32_t kind, int32_t form, const char* remote_ip, const char* local_ip,
                                 vel_robot** robot, int64_t* id) VEL_NOEXCEPT;
/* Destroys the robot (which stops a moving arm and closes its links), then its model. */
VEL_API int32_t vel_robot_destroy(vel_robot* robot) VEL_NOEXCEPT;

/* Connection and information. The connect with addresses fails with VEL_STD_EXCEPTION and the
 * native text; the one without reconnects to the stored addresses and reports in `ec`. */
VEL_API int32_t vel_robot_connect(vel_robot* robot, const char* remote_ip, const char* local_ip) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_reconnect(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_disconnect(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
/* The controller's information as an Info blob. */
VEL_API int32_t vel_robot_info(vel_robot* robot, vel_buf** info, vel_err* ec) VEL_NOEXCEPT;

/* System operations. Enumerations cross as their 32-bit values, unchecked. */
VEL_API int32_t vel_robot_power_state(vel_robot* robot, int32_t* state, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_power_state(vel_robot* robot, uint8_t on, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_operate_mode(vel_robot* robot, int32_t* mode, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_operate_mode(vel_robot* robot, int32_t mode, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_operation_state(vel_robot* robot, int32_t* state, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_reboot_system(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_shutdown_system(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_clear_servo_alarm(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_simulation_mode(vel_robot* robot, uint8_t on, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_teach_pendant_mode(vel_robot* robot, uint8_t enable, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_config_ntp(vel_robot* robot, const char* server_ip, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_sync_time_with_server(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_recover_state(vel_robot* robot, int32_t item, vel_err* ec) VEL_NOEXCEPT;
/* x, y, z, rx, ry, rz into `pose` (6 doubles). */
VEL_API int32_t vel_robot_posture(vel_robot* robot, int32_t coordinate, double* pose, vel_err* ec) VEL_NOEXCEPT;
/* `levels` holds `level_count` values of LogInfo.Level (duplicates collapse, none is allowed);
 * the entries come as a list of LogInfo blobs, texts as the controller wrote them (UTF-8). */
VEL_API int32_t vel_robot_query_controller_log(vel_robot* robot, uint32_t count, const int32_t* levels,
                                               int32_t level_count, uint32_t offset, vel_buf** logs,
                                               vel_err* ec) VEL_NOEXCEPT;

/* ---- Robot operations: I/O, registers, state, projects, paths ---------------------------- */

/* Value types of registers and of rail, axis and unit parameters. Register values cross as
 * doubles (exact for int32 and float; a flag is 0 or 1); lists as blobs of f64. */
#define VEL_VALUE_INT 0
#define VEL_VALUE_FLOAT 1
#define VEL_VALUE_BOOL 2
#define VEL_VALUE_DOUBLE 3
#define VEL_VALUE_TEXT 4
#define VEL_VALUE_DOUBLES 5
#define VEL_VALUE_FRAME 6
#define VEL_VALUE_TEXTS 7

VEL_API int32_t vel_robot_get_di(vel_robot* robot, uint32_t board, uint32_t port, uint8_t* state,
                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_di(vel_robot* robot, uint32_t board, uint32_t port, uint8_t state,
                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_do(vel_robot* robot, uint32_t board, uint32_t port, uint8_t* state,
                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_do(vel_robot* robot, uint32_t board, uint32_t port, uint8_t state,
                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_ai(vel_robot* robot, uint32_t board, uint32_t port, double* value,
                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_ao(vel_robot* robot, uint32_t board, uint32_t port, double value,
                                 vel_err* ec) VEL_NOEXCEPT;
/* `type` is VEL_VALUE_INT, _FLOAT or _BOOL; `*value` is written whatever the outcome. An int
 * value outside int32 is refused (VEL_STD_EXCEPTION). */
VEL_API int32_t vel_robot_read_register(vel_robot* robot, const char* name, uint32_t index, int32_t type,
                                        double* value, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_read_register_list(vel_robot* robot, const char* name, int32_t type, vel_buf** values,
                                             vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_write_register(vel_robot* robot, const char* name, uint32_t index, int32_t type,
                                         double value, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_write_register_list(vel_robot* robot, const char* name, uint32_t index, int32_t type,
                                              const double* values, int32_t count, vel_err* ec) VEL_NOEXCEPT;

/* The state stream. The start, update and field reads report native exceptions as
 * VEL_STD_EXCEPTION with their text; `fields` is a list blob of texts (null: none). The 3- and
 * 4-axis arms have no stream. */
VEL_API int32_t vel_robot_start_receive_state(vel_robot* robot, int64_t interval_ns, const uint8_t* fields,
                                              int64_t fields_length) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_stop_receive_state(vel_robot* robot) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_update_state(vel_robot* robot, int64_t timeout_ns, uint32_t* received) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_double(vel_robot* robot, const char* name, double* data,
                                       int32_t* result) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_u64(vel_robot* robot, const char* name, uint64_t* data,
                                    int32_t* result) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_doubles(vel_robot* robot, const char* name, vel_buf** data,
                                        int32_t* result) VEL_NOEXCEPT;
/* State queries: a StateList blob, lists of f64 (torque: one per joint), a pose blob. */
VEL_API int32_t vel_robot_state_list(vel_robot* robot, vel_buf** state, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_pos(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_vel(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_torque(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_cart_posture(vel_robot* robot, int32_t coordinate, vel_buf** pose,
                                       vel_err* ec) VEL_NOEXCEPT;

/* RL projects and controller files; task and path lists are list blobs of texts. */
VEL_API int32_t vel_robot_projects_info(vel_robot* robot, vel_buf** projects, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_load_project(vel_robot* robot, const char* name, const uint8_t* tasks,
                                       int64_t tasks_length, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_pp_to_main(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_run_project(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_pause_project(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_project_running_opt(vel_robot* robot, double rate, uint8_t loop,
                                                  vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_import_project(vel_robot* robot, const char* file_path, uint8_t overwrite,
                                         vel_buf** name, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_remove_project(vel_robot* robot, const char* project_name, uint8_t remove_all,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_import_file(vel_robot* robot, const char* src_file_path, const char* dest,
                                      uint8_t overwrite, vel_buf** name, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_remove_files(vel_robot* robot, const uint8_t* paths, int64_t paths_length,
                                       vel_err* ec) VEL_NOEXCEPT;

/* Path recording of collaborative arms (a recording runs 30 s); names as a list blob of texts. */
VEL_API int32_t vel_cobot_start_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_stop_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_cancel_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_save_record_path(vel_robot* robot, const char* name, const char* save_as,
                                           vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_replay_path(vel_robot* robot, const char* name, double rate, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_remove_path(vel_robot* robot, const char* name, uint8_t remove_all,
                                      vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_query_path_lists(vel_robot* robot, vel_buf** names, vel_err* ec) VEL_NOEXCEPT;

/* Frames and tools. Frames cross as 6 doubles, loads as 7, tool sets as 19, a calibration
 * result as 9 (frame, then the three errors); tool and work-object lists as list blobs. */
VEL_API int32_t vel_robot_base_frame(vel_robot* robot, double* frame, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_base_frame(vel_robot* robot, const double* frame, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_toolset(vel_robot* robot, double* toolset, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_toolset(vel_robot* robot, const double* toolset, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_toolset_by_name(vel_robot* robot, const char* tool_name, const char* wobj_name,
                                              vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_tools_info(vel_robot* robot, vel_buf** tools, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_wobjs_info(vel_robot* robot, vel_buf** wobjs, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_tool_info(vel_robot* robot, const char* name, const char* alias, uint8_t robot_held,
                                        const double* pos, const double* load, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_wobj_info(vel_robot* robot, const char* name, const char* alias, uint8_t robot_held,
                                        const double* pos, const double* load, vel_err* ec) VEL_NOEXCEPT;
/* `points` holds `point_count` points of `joints` values each; `joints` other than the arm's
 * joint count gives 259 with nothing sent. `base_aux` holds 3 values. */
VEL_API int32_t vel_robot_calibrate_frame(vel_robot* robot, int32_t type, const double* points, int32_t point_count,
                                          int32_t joints, uint8_t is_held, const double* base_aux, double* result,
                                          vel_err* ec) VEL_NOEXCEPT;
/* Limits as a list blob of f64: lower and upper of each joint in turn. Setting takes `rows`
 * pairs; fewer than the arm's joints give 259 with nothing sent, pairs past them are ignored. */
VEL_API int32_t vel_robot_get_soft_limit(vel_robot* robot, uint8_t* enabled, vel_buf** limits,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_soft_limit(vel_robot* robot, uint8_t enable, const double* limits, int32_t rows,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_dh_param(vel_robot* robot, uint8_t nominal, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;

/* Rail, mechanical units and external axes: values as blobs of their VEL_VALUE_* type (int32,
 * f64, flag, text, list of f64, frame, list of texts); a type the operation does not take is
 * refused (VEL_STD_EXCEPTION). */
VEL_API int32_t vel_robot_get_rail_parameter(vel_robot* robot, const char* name, int32_t type, vel_buf** value,
                                             vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_rail_parameter(vel_robot* robot, const char* name, int32_t type, const uint8_t* value,
                                             int64_t value_length, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_mech_unit(vel_robot* robot, const char* name, const char* info, int32_t type,
                                        vel_buf** value, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_ext_axis_info(vel_robot* robot, const char* name, const char* info, int32_t type,
                                            vel_buf** value, vel_err* ec) VEL_NOEXCEPT;

/* Collaborative-arm extras. Sensitivities: one per joint (fewer: 259, nothing sent; more are
 * cut). Keys: 7 flags. */
VEL_API int32_t vel_cobot_enable_drag(vel_robot* robot, int32_t space, int32_t type, uint8_t drag_button,
                                      vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_disable_drag(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_enable_collision_detection(vel_robot* robot, const double* sensitivity, int32_t count,
                                                     int32_t behaviour, double fallback_compliance,
                                                     vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_disable_collision_detection(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_standard_enable_collision_detection(vel_robot* robot, const double* sensitivity, int32_t count,
                                                        double fallback, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_standard_disable_collision_detection(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_calibrate_force_sensor(vel_robot* robot, uint8_t all_axes, int32_t axis_index,
                                                 vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_keypad_state(vel_robot* robot, uint8_t* keys, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_use_rci_client(vel_robot* robot, uint8_t use, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_set_flangebox_vout(vel_robot* robot, int32_t vout, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_set_flangebox_rs485(vel_robot* robot, int32_t vout, uint8_t rs485,
                                              vel_err* ec) VEL_NOEXCEPT;

/* Tool-end bus. In/out arrays go in as given and come back whole: registers as a list blob of
 * i32, coils as a list blob of flags, RS485 bytes raw; CAN frames as CANFrame blobs. */
VEL_API int32_t vel_cobot_modbus_rtu_reg(vel_robot* robot, int32_t slave_addr, int32_t fun_cmd, int32_t reg_addr,
                                         const char* data_type, int32_t num, const int32_t* data, int32_t count,
                                         uint8_t crc_reverse, vel_buf** result, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_modbus_rtu_coil(vel_robot* robot, int32_t slave_addr, int32_t fun_cmd, int32_t coil_addr,
                                          int32_t num, const uint8_t* data, int32_t count, uint8_t crc_reverse,
                                          vel_buf** result, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_rs485_send_data(vel_robot* robot, int32_t send_byte, int32_t rev_byte, const uint8_t* send,
                                          int32_t send_count, const uint8_t* recv, int32_t recv_count,
                                          vel_buf** received, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_can_receive(vel_robot* robot, int32_t timeout_ms, const char* data_type, vel_buf** frame,
                                      vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_can_send(vel_robot* robot, const char* data_type, const uint8_t* frames,
                                   int64_t frames_length, vel_err* ec) VEL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_C_H */
