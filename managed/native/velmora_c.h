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
/* Waits up to `timeout_ms` until no callback is in flight and every robot destroyed inside its
 * own callback is deleted; `idle` (may be null) tells whether that happened. */
VEL_API int32_t vel_callbacks_wait_idle(int32_t timeout_ms, uint8_t* idle) VEL_NOEXCEPT;

/* Watches an event type (Event values; another value is refused with 259) with the entry point
 * as its callback. */
VEL_API int32_t vel_robot_watch_event(vel_robot* robot, int32_t type, vel_err* ec) VEL_NOEXCEPT;
/* The information last stored for the event type, as an EventInfo blob. */
VEL_API int32_t vel_robot_query_event_info(vel_robot* robot, int32_t type, vel_buf** info,
                                           vel_err* ec) VEL_NOEXCEPT;
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
VEL_API int32_t vel_robot_execute_command(vel_robot* robot, int32_t type, const uint8_t* commands,
                                          int64_t length, vel_err* ec) VEL_NOEXCEPT;
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
VEL_API int32_t vel_robot_start_jog_with_ext(vel_robot* robot, int32_t space, double rate, double step,
                                             uint32_t index, uint8_t direction, const char* name, uint8_t is_ext,
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
                                            const uint8_t* poses, int64_t length, vel_buf** joints,
                                            int32_t* result, vel_err* ec) VEL_NOEXCEPT;

/* Singularity avoidance (StandardRobot and OstraRobot) and complete posture interpolation
 * (OstraLiteRobot); another arm class fails with VEL_STD_EXCEPTION. */
VEL_API int32_t vel_robot_set_avoid_singularity(vel_robot* robot, int32_t method, uint8_t enable, double limit,
                                                vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_get_avoid_singularity(vel_robot* robot, int32_t method, uint8_t* enabled,
                                                vel_err* ec) VEL_NOEXCEPT;
VEL_API int32_t vel_robot_enable_complete_posture_lerp(vel_robot* robot, uint8_t enable, vel_err* ec) VEL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_C_H */
