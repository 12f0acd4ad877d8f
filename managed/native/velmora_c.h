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
 *   every live handle, vel_buf included, is counted, so the tests catch one left alive.
 */

#include <stdint.h>

#include <velmora/export.h>

#ifdef __cplusplus
#define VEL_NOEXCEPT noexcept
extern "C" {
#else
#define VEL_NOEXCEPT
#endif

#define VEL_API VELMORA_API

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

/* ---- Extensions: kinematics, force control, EtherCAT, upgrade client -------------------- */

typedef struct vel_robot vel_robot;
typedef struct vel_forcecontrol vel_forcecontrol;
typedef struct vel_ethercat vel_ethercat;
typedef struct vel_upgrade vel_upgrade;

/* Kinematics on the robot's model. Joints are checked against the arm's joint count (fewer:
 * 259, nothing sent); `toolset` (19 doubles) may be null for the operation without one. The
 * pose crosses as a pose blob both ways; `joints` of calc_ik has room for 7 values and `count`
 * says how many it holds. Solutions: a list of joint lists (f64), then a list of
 * configuration lists (i32), solution i of one matching configuration i of the other. */
VEL_API int32_t vel_robot_calc_fk(vel_robot* robot, const double* joints, int32_t count, const double* toolset,
                                  vel_buf** pose, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_calc_ik(vel_robot* robot, const uint8_t* posture, int64_t length, const double* toolset,
                                  double* joints, int32_t* count, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_calc_all_ik(vel_robot* robot, const uint8_t* posture, int64_t length, vel_buf** solutions,
                                      vel_err* ec) VEL_NOEXCEPT;

/* Force control of a collaborative arm (another class: VEL_STD_EXCEPTION). It shares the
 * robot's command link and outlives the robot handle. */
VEL_API int32_t vel_cobot_force_control(vel_robot* robot, vel_forcecontrol** fc) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_destroy(vel_forcecontrol* fc) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_joints(vel_forcecontrol* fc, int32_t* joints) VEL_NOEXCEPT;

/* Selectors of the operations that share an export's shape. */
#define VEL_FC_START 0
#define VEL_FC_STOP 1
#define VEL_FC_START_OVERLAY 2
#define VEL_FC_STOP_OVERLAY 3
#define VEL_FC_PAUSE_OVERLAY 4
#define VEL_FC_RESTART_OVERLAY 5
#define VEL_FC_WAIT_CONDITION 6

#define VEL_FC_CART_STIFFNESS 0
#define VEL_FC_CART_DESIRED_FORCE 1
#define VEL_FC_CART_MAX_VEL 2
#define VEL_FC_CART_CONTROL_MAX_WRENCH 3
#define VEL_FC_CART_CONTROL_MAX_VEL 4

#define VEL_FC_JOINT_STIFFNESS 0
#define VEL_FC_JOINT_DESIRED_TORQUE 1
#define VEL_FC_JOINT_MAX_VEL 2
#define VEL_FC_JOINT_MAX_MOMENTUM 3
#define VEL_FC_JOINT_MAX_ENERGY 4
#define VEL_FC_JOINT_CONTROL_MAX_TORQUE 5
#define VEL_FC_JOINT_CONTROL_MAX_VEL 6
#define VEL_FC_GAIN 7
#define VEL_FC_FRICTION 8

#define VEL_FC_FORCE_CONDITION 0
#define VEL_FC_TORQUE_CONDITION 1

VEL_API int32_t vel_forcecontrol_run(vel_forcecontrol* fc, int32_t which, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_init(vel_forcecontrol* fc, int32_t frame_type, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_control_type(vel_forcecontrol* fc, int32_t type, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_load(vel_forcecontrol* fc, const double* load, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_nullspace_stiffness(vel_forcecontrol* fc, double stiffness,
                                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_monitor(vel_forcecontrol* fc, uint8_t enable, vel_err* ec) VEL_NOEXCEPT;
/* Six values (fewer: 259, nothing sent). */
VEL_API int32_t vel_forcecontrol_set_cartesian(vel_forcecontrol* fc, int32_t which, const double* values, int32_t count,
                                               vel_err* ec) VEL_NOEXCEPT;
/* One value per joint (fewer: 259, nothing sent). */
VEL_API int32_t vel_forcecontrol_set_joints(vel_forcecontrol* fc, int32_t which, const double* values, int32_t count,
                                            vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_condition(vel_forcecontrol* fc, int32_t which, const double* range, int32_t count,
                                               uint8_t inside, double timeout_s, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_pose_box_condition(vel_forcecontrol* fc, const double* frame, const double* box,
                                                        int32_t count, uint8_t inside, double timeout_s,
                                                        vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_sine_overlay(vel_forcecontrol* fc, int32_t line_dir, double amplify,
                                                  double frequency, double phase, double bias,
                                                  vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_forcecontrol_set_lissajous_overlay(vel_forcecontrol* fc, int32_t plane, double amplify_one,
                                                       double frequency_one, double amplify_two, double frequency_two,
                                                       double phase_diff, vel_err* ec) VEL_NOEXCEPT;
/* `joint` and `external` have room for 7 values, `cart_torque` and `cart_force` for 3;
 * `joints` says how many of the first two hold values. */
VEL_API int32_t vel_forcecontrol_end_torque(vel_forcecontrol* fc, int32_t ref_type, double* joint, double* external,
                                            double* cart_torque, double* cart_force, int32_t* joints,
                                            vel_err* ec) VEL_NOEXCEPT;

/* EtherCAT access over a command link of its own to the robot's controller; a link that does
 * not start is VEL_STD_EXCEPTION with the native text. Destroying the handle stops the link.
 * Byte buffers: reads fill at most `capacity` bytes of `data` and never more than the size
 * asked; writes send `length`/`size` bytes, the first `data_count` of them from `data` and
 * zeros after. No buffer the library hands on is ever null or shorter than the size sent. */
VEL_API int32_t vel_robot_ethercat(vel_robot* robot, vel_ethercat** ethercat) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_destroy(vel_ethercat* ethercat) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_slave_count(vel_ethercat* ethercat, int32_t* count, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_slave_info(vel_ethercat* ethercat, int32_t slave_addr, vel_buf** info,
                                        vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_slaves_info(vel_ethercat* ethercat, vel_buf** infos, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_set_slaves_state(vel_ethercat* ethercat, uint16_t state, uint8_t* done,
                                              vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_slave_state(vel_ethercat* ethercat, int32_t slave_addr, uint16_t* state,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_read_sdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t index, int32_t sub_index,
                                      int32_t length, uint8_t* data, int32_t capacity, int32_t over_time, uint8_t* done,
                                      vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_write_sdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t index, int32_t sub_index,
                                       int32_t length, const uint8_t* data, int32_t data_count, int32_t over_time,
                                       uint8_t* done, vel_err* ec) VEL_NOEXCEPT;
/* `items`: a list of SDOData blobs (an item length over 50: 259, nothing sent). */
VEL_API int32_t vel_ethercat_write_multi_sdo(vel_ethercat* ethercat, uint16_t slave_addr, const uint8_t* items,
                                             int64_t length, uint8_t* done, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_read_pdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t offset, int32_t size,
                                      uint8_t* data, int32_t capacity, uint8_t* done, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_ethercat_write_pdo(vel_ethercat* ethercat, int32_t slave_addr, int32_t offset, int32_t size,
                                       const uint8_t* data, int32_t data_count, uint8_t* done,
                                       vel_err* ec) VEL_NOEXCEPT;

/* The upgrade client of a controller (port 4567). With `connect` set it connects to
 * `remote_ip` at once, and a failure is VEL_STD_EXCEPTION with the native text and no handle;
 * vel_upgrade_connect fails the same way, vel_upgrade_reconnect reports in `ec`. Backup items
 * are BackupItem values; duplicates collapse. */
VEL_API int32_t vel_upgrade_create(const char* remote_ip, uint8_t connect, vel_upgrade** upgrade) VEL_NOEXCEPT;
VEL_API int32_t vel_upgrade_destroy(vel_upgrade* upgrade) VEL_NOEXCEPT;
VEL_API int32_t vel_upgrade_connect(vel_upgrade* upgrade, const char* remote_ip) VEL_NOEXCEPT;
VEL_API int32_t vel_upgrade_reconnect(vel_upgrade* upgrade, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_upgrade_upgrade(vel_upgrade* upgrade, const char* package_path, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_upgrade_export_backup(vel_upgrade* upgrade, const char* local_file_path, const int32_t* items,
                                          int32_t item_count, vel_err* ec) VEL_NOEXCEPT;

/* ---- Events, connection handler and motion --------------------------------------------- */

/* The two entry points of every robot callback, set once by the managed side: an event of
 * `type` for robot `robot_id` with its information as an EventInfo blob (valid during the
 * call), and a connection change (1 up, 0 lost). Native code holds no other pointer into
 * managed code; a callback of a robot that no longer exists reaches these with its old id. */
typedef void (*vel_event_fn)(int64_t robot_id, int32_t type, const uint8_t* info, int32_t length);
typedef void (*vel_connection_fn)(int64_t robot_id, uint8_t connected);
VEL_API int32_t vel_set_callbacks(vel_event_fn on_event, vel_connection_fn on_connection) VEL_NOEXCEPT;
/* Closes the gate for good: no callback enters managed code any more. Waits up to `timeout_ms`
 * for the callbacks in flight; `drained` (may be null) tells whether none is left. */
VEL_API int32_t vel_callbacks_shutdown(int32_t timeout_ms, uint8_t* drained) VEL_NOEXCEPT;

/* Watches an event type (Event values; another value is refused with 259) with the entry point
 * as its callback. */
VEL_API int32_t vel_robot_watch_event(vel_robot* robot, int32_t type, vel_err* ec) VEL_NOEXCEPT;
/* The information last stored for the event type, as an EventInfo blob. */
VEL_API int32_t vel_robot_query_event_info(vel_robot* robot, int32_t type, vel_buf** info, vel_err* ec) VEL_NOEXCEPT;
/* Makes the entry point the robot's connection handler. */
VEL_API int32_t vel_robot_set_connection_handler(vel_robot* robot) VEL_NOEXCEPT;

/* Move types of a command list (MoveCommand.Type). */
#define VEL_MOVE_L 0
#define VEL_MOVE_J 1
#define VEL_MOVE_ABSJ 2
#define VEL_MOVE_C 3
#define VEL_MOVE_CF 4
#define VEL_MOVE_SP 5
#define VEL_MOVE_WAIT 6

/* A list of move commands of one type as a blob: count, then per command the fields of its type
 * (see native/move_records.h). A type outside VEL_MOVE_L..VEL_MOVE_SP is refused with 259 and
 * nothing is sent. */
VEL_API int32_t vel_robot_execute_command(vel_robot* robot, int32_t type, const uint8_t* commands, int64_t length,
                                          vel_err* ec) VEL_NOEXCEPT;
/* Queues the list; `cmd_id` is the id text read on entry, `cmd_id_out` the text after the call
 * (the batch id on success, else the entry text). */
VEL_API int32_t vel_robot_move_append(vel_robot* robot, int32_t type, const uint8_t* commands, int64_t length,
                                      const char* cmd_id, vel_buf** cmd_id_out, vel_err* ec) VEL_NOEXCEPT;
/* Queues one wait of `ms` milliseconds (a negative value is refused with 259). */
VEL_API int32_t vel_robot_move_append_wait(vel_robot* robot, int32_t ms, const char* cmd_id, vel_buf** cmd_id_out,
                                           vel_err* ec) VEL_NOEXCEPT;

/* Motion settings. */
VEL_API int32_t vel_robot_set_motion_control_mode(vel_robot* robot, int32_t mode, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_move_reset(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_move_start(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_stop(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_default_speed(vel_robot* robot, double speed, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_default_zone(vel_robot* robot, double zone, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_default_conf_opt(vel_robot* robot, uint8_t forced, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_max_cache_size(vel_robot* robot, int32_t number, vel_err* ec) VEL_NOEXCEPT;

/* Jogging and online adjustment. */
VEL_API int32_t vel_robot_start_jog(vel_robot* robot, int32_t space, double rate, double step, uint32_t index,
                                    uint8_t direction, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_start_jog_with_ext(vel_robot* robot, int32_t space, double rate, double step, uint32_t index,
                                             uint8_t direction, const char* name, uint8_t is_ext,
                                             vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_adjust_speed_online(vel_robot* robot, double scale, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_adjust_acceleration(vel_robot* robot, double acc, double jerk, vel_err* ec) VEL_NOEXCEPT;
/* Both outputs are written, with the robot's values or, on failure, what it left (0 at first). */
VEL_API int32_t vel_robot_get_acceleration(vel_robot* robot, double* acc, double* jerk, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_auto_ignore_zone(vel_robot* robot, uint8_t enable, vel_err* ec) VEL_NOEXCEPT;

/* Path checks. `poses` is a list of poses: start and target (line), or start, auxiliary point
 * and target (circle, with the angle and the rotation rule 0..2); the joint values computed
 * come as a list of doubles. The multi-point form takes the points as `poses` and gives its
 * integer result in `result`. */
VEL_API int32_t vel_robot_check_path_line(vel_robot* robot, const uint8_t* poses, int64_t length,
                                          const double* start_joint, int32_t joint_count, vel_buf** joints,
                                          vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_check_path_circle(vel_robot* robot, const uint8_t* poses, int64_t length,
                                            const double* start_joint, int32_t joint_count, double angle,
                                            int32_t rot_type, vel_buf** joints, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_check_path_points(vel_robot* robot, const double* start_joint, int32_t joint_count,
                                            const uint8_t* poses, int64_t length, vel_buf** joints, int32_t* result,
                                            vel_err* ec) VEL_NOEXCEPT;

/* Singularity avoidance (StandardRobot and OstraRobot) and complete posture interpolation
 * (OstraLiteRobot); another arm class fails with VEL_STD_EXCEPTION. */
VEL_API int32_t vel_robot_set_avoid_singularity(vel_robot* robot, int32_t method, uint8_t enable, double limit,
                                                vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_avoid_singularity(vel_robot* robot, int32_t method, uint8_t* enabled,
                                                vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_enable_complete_posture_lerp(vel_robot* robot, uint8_t enable, vel_err* ec) VEL_NOEXCEPT;

/* ---- Robot operations: I/O, registers, state, projects, paths, frames, axes, extras, bus */

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
VEL_API int32_t vel_robot_read_register(vel_robot* robot, const char* name, uint32_t index, int32_t type, double* value,
                                        vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_read_register_list(vel_robot* robot, const char* name, int32_t type, vel_buf** values,
                                             vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_write_register(vel_robot* robot, const char* name, uint32_t index, int32_t type, double value,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_write_register_list(vel_robot* robot, const char* name, uint32_t index, int32_t type,
                                              const double* values, int32_t count, vel_err* ec) VEL_NOEXCEPT;

/* The state stream. The start, update and field reads report native exceptions as
 * VEL_STD_EXCEPTION with their text; `fields` is a list blob of texts (null: none). The 3- and
 * 4-axis arms have no stream. */
VEL_API int32_t vel_robot_start_receive_state(vel_robot* robot, int64_t interval_ns, const uint8_t* fields,
                                              int64_t fields_length) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_stop_receive_state(vel_robot* robot) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_update_state(vel_robot* robot, int64_t timeout_ns, uint32_t* received) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_double(vel_robot* robot, const char* name, double* data, int32_t* result) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_u64(vel_robot* robot, const char* name, uint64_t* data, int32_t* result) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_state_doubles(vel_robot* robot, const char* name, vel_buf** data,
                                        int32_t* result) VEL_NOEXCEPT;
/* State queries: a StateList blob, lists of f64 (torque: one per joint), a pose blob. */
VEL_API int32_t vel_robot_state_list(vel_robot* robot, vel_buf** state, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_pos(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_vel(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_joint_torque(vel_robot* robot, vel_buf** values, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_cart_posture(vel_robot* robot, int32_t coordinate, vel_buf** pose, vel_err* ec) VEL_NOEXCEPT;

/* RL projects and controller files; task and path lists are list blobs of texts. */
VEL_API int32_t vel_robot_projects_info(vel_robot* robot, vel_buf** projects, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_load_project(vel_robot* robot, const char* name, const uint8_t* tasks, int64_t tasks_length,
                                       vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_pp_to_main(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_run_project(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_pause_project(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_set_project_running_opt(vel_robot* robot, double rate, uint8_t loop,
                                                  vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_import_project(vel_robot* robot, const char* file_path, uint8_t overwrite, vel_buf** name,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_remove_project(vel_robot* robot, const char* project_name, uint8_t remove_all,
                                         vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_import_file(vel_robot* robot, const char* src_file_path, const char* dest, uint8_t overwrite,
                                      vel_buf** name, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_remove_files(vel_robot* robot, const uint8_t* paths, int64_t paths_length,
                                       vel_err* ec) VEL_NOEXCEPT;

/* Path recording of collaborative arms (a recording runs 30 s); names as a list blob of texts. */
VEL_API int32_t vel_cobot_start_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_stop_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_cancel_record_path(vel_robot* robot, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_save_record_path(vel_robot* robot, const char* name, const char* save_as,
                                           vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_replay_path(vel_robot* robot, const char* name, double rate, vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_cobot_remove_path(vel_robot* robot, const char* name, uint8_t remove_all, vel_err* ec) VEL_NOEXCEPT;
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
 * joint count gives 259 with nothing sent. `base_aux` holds 3 values (null: zeros). */
VEL_API int32_t vel_robot_calibrate_frame(vel_robot* robot, int32_t type, const double* points, int32_t point_count,
                                          int32_t joints, uint8_t is_held, const double* base_aux, double* result,
                                          vel_err* ec) VEL_NOEXCEPT;
/* Limits as a list blob of f64: lower and upper of each joint in turn. Setting takes `rows`
 * pairs; fewer than the arm's joints (or none) give 259 with nothing sent, pairs past them are
 * ignored. */
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
VEL_API int32_t vel_cobot_set_flangebox_rs485(vel_robot* robot, int32_t vout, uint8_t rs485, vel_err* ec) VEL_NOEXCEPT;

/* Tool-end bus. In/out arrays go in as given (null with a count of 0: empty) and come back
 * whole: registers as a list blob of i32, coils as a list blob of flags, RS485 bytes raw; CAN
 * frames as CANFrame blobs (a null list: none). */
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
