#ifndef VELMORA_TESTSIM_H
#define VELMORA_TESTSIM_H
/* Test-only C interface for the managed tests (libvelmora_testsim.so, which also holds the whole
 * library, so the tests load it in place of libvelmora.so): the controller simulator, hooks into
 * the library (language flag, exceptions, error codes, live handles, callbacks in flight) and
 * probes of the flat interface's crossing forms. It keeps the rules of native/velmora_c.h. */

#include "native/velmora_c.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct vts_sim vts_sim;
typedef struct vts_dummy vts_dummy;

/* A simulator serving the controller's ports (6666, 7777) on `address`. */
VEL_API int32_t vts_sim_start(const char* address, vts_sim** sim) VEL_NOEXCEPT;
VEL_API int32_t vts_sim_stop(vts_sim* sim) VEL_NOEXCEPT;
/* Replies `json` under `key` to requests of `form` ("c", "g", "s", "w"; null or "" for any),
 * `delay_ms` late, for the next `times` requests (0: for ever). */
VEL_API int32_t vts_sim_script_reply(vts_sim* sim, const char* form, const char* key, const char* json, int32_t times,
                                     int32_t delay_ms) VEL_NOEXCEPT;
VEL_API int32_t vts_sim_request_count(vts_sim* sim, const char* key, int64_t* count) VEL_NOEXCEPT;
/* Compact JSON of the payload of the last request of `key`; the empty text when none came. */
VEL_API int32_t vts_sim_last_payload(vts_sim* sim, const char* key, vel_buf** json) VEL_NOEXCEPT;
/* The requests received from the `first` on (counted from 0), one per line in the order they came:
 * "<form> <key> <payload as compact JSON>". */
VEL_API int32_t vts_sim_requests(vts_sim* sim, int64_t first, vel_buf** lines) VEL_NOEXCEPT;
/* Scripted steps with a count that requests have not used up, one per line. */
VEL_API int32_t vts_sim_unused_steps(vts_sim* sim, vel_buf** text) VEL_NOEXCEPT;

/* Replaces what "sys.info" answers: a JSON object with any of "id", "mac", "version", "type",
 * "joint_num", "work_type"; members left out take the simulator's defaults. */
VEL_API int32_t vts_sim_set_info(vts_sim* sim, const char* json) VEL_NOEXCEPT;
/* Replaces the controller's log, oldest first: a JSON list of {"err_code", "time", "content",
 * "repair", "level"} ("info", "warning" or "error"). */
VEL_API int32_t vts_sim_set_log(vts_sim* sim, const char* json) VEL_NOEXCEPT;

/* How many native handles are alive now (buffers included). */
VEL_API int32_t vts_live_handles(int64_t* count) VEL_NOEXCEPT;
/* Waits up to `timeout_ms` until no callback is in flight and every robot destroyed inside its
 * own callback is deleted; `idle` (may be null) tells whether that happened. */
VEL_API int32_t vts_callbacks_wait_idle(int32_t timeout_ms, uint8_t* idle) VEL_NOEXCEPT;

/* An unconnected robot of `kind` (VEL_ROBOT_*) whose links wait `wait_ms` for a reply instead of
 * the controller's 10 s; destroyed with vel_robot_destroy. */
VEL_API int32_t vts_robot_create(int32_t kind, int32_t wait_ms, vel_robot** robot, int64_t* id) VEL_NOEXCEPT;

/* Sets the library's language flag (0 Chinese, 1 English); `previous` may be null. */
VEL_API int32_t vts_set_language(int32_t english, int32_t* previous) VEL_NOEXCEPT;
/* Throws: 0 std::runtime_error(text), 1 the library's NetworkException(text), 2 an int. */
VEL_API int32_t vts_throw(int32_t kind, const char* text) VEL_NOEXCEPT;
/* An error code of the system or the library's category as an operation would cross it. */
VEL_API int32_t vts_make_error(int32_t value, int32_t category, vel_err* ec) VEL_NOEXCEPT;
/* A text through std::string and back. */
VEL_API int32_t vts_text_echo(const char* text, vel_buf** out) VEL_NOEXCEPT;
VEL_API int32_t vts_bytes_echo(const uint8_t* data, int64_t length, vel_buf** out) VEL_NOEXCEPT;

/* Crossing forms of records (VTS_RECORD_*): a native record made from JSON with the native
 * field names and encoded as the library sends it, and a blob decoded as the library receives
 * it and shown as such JSON. */
#define VTS_RECORD_POSE 1
#define VTS_RECORD_INFO 2
#define VTS_RECORD_WORKTOOLS 3
#define VTS_RECORD_LOGS 4
#define VTS_RECORD_PROJECTS 5
#define VTS_RECORD_SLAVES 6
#define VTS_RECORD_STATE 7
#define VTS_RECORD_EVENT 8
#define VTS_RECORD_CAN 9
#define VTS_RECORD_SDOS 10
#define VTS_RECORD_OFFSET 11
#define VTS_RECORD_TEXTS 12
#define VTS_RECORD_TOOLSET 13     /* flat: 19 doubles */
#define VTS_RECORD_CALIBRATION 14 /* flat: 9 doubles */
#define VTS_RECORD_KEYPAD 15      /* flat: 7 flags */
VEL_API int32_t vts_record_sample(int32_t kind, const char* json, vel_buf** blob) VEL_NOEXCEPT;
VEL_API int32_t vts_record_describe(int32_t kind, const uint8_t* blob, int64_t length, vel_buf** json) VEL_NOEXCEPT;

/* Every native enumerator the managed enumerations mirror: "<managed name> <member> <value>"
 * per line. */
VEL_API int32_t vts_enum_table(vel_buf** text) VEL_NOEXCEPT;

/* A counted handle with nothing behind it, for the lifetime rules of owned handles. */
VEL_API int32_t vts_dummy_create(vts_dummy** dummy) VEL_NOEXCEPT;
VEL_API int32_t vts_dummy_destroy(vts_dummy* dummy) VEL_NOEXCEPT;
/* A call that stays inside native code for `ms` milliseconds. */
VEL_API int32_t vts_dummy_hold(vts_dummy* dummy, int32_t ms) VEL_NOEXCEPT;
/* Calls of vts_dummy_hold in progress, and dummies destroyed so far. */
VEL_API int32_t vts_dummy_stats(int64_t* holding, int64_t* destroyed) VEL_NOEXCEPT;

/* ---- Extensions: kinematics, force control, EtherCAT, upgrade ---- */

typedef struct vts_upgrade_sim vts_upgrade_sim;

/* Serves kinematics for `axes` joints (3 to 7), a force controller (5 to 7) and an EtherCAT bus
 * with a slave at each of the `slaves` addresses (vendor 0x1234, name "从站-<addr>"). */
VEL_API int32_t vts_sim_install_extensions(vts_sim* sim, int32_t axes, const uint8_t* slave_addrs,
                                           int32_t slaves) VEL_NOEXCEPT;
/* Command-link connections the simulator holds open now. */
VEL_API int32_t vts_sim_open_connections(vts_sim* sim, int32_t* count) VEL_NOEXCEPT;
/* A simulator serving only the upgrade port (4567) on `address`; its backup file; what it
 * received, as a JSON list of {"type", "json", "name", "digest_matches", "file"}. */
VEL_API int32_t vts_upgrade_sim_start(const char* address, vts_upgrade_sim** sim) VEL_NOEXCEPT;
VEL_API int32_t vts_upgrade_sim_stop(vts_upgrade_sim* sim) VEL_NOEXCEPT;
VEL_API int32_t vts_upgrade_sim_set_backup(vts_upgrade_sim* sim, const char* file) VEL_NOEXCEPT;
VEL_API int32_t vts_upgrade_sim_frames(vts_upgrade_sim* sim, vel_buf** json) VEL_NOEXCEPT;

/* ---- Events and motion ---- */
/* Publishes `topics` (a JSON object) to the connections watching them; `delivered` (may be
 * null) is how many got a message. */
VEL_API int32_t vts_sim_publish(vts_sim* sim, const char* topics, int32_t* delivered) VEL_NOEXCEPT;
/* Closes every open connection. */
VEL_API int32_t vts_sim_drop_connections(vts_sim* sim) VEL_NOEXCEPT;
/* Waits up to `timeout_ms` for the `nth` request of `key` (counted from 1); its payload as
 * compact JSON, or the empty text when it did not come. */
VEL_API int32_t vts_sim_wait_request(vts_sim* sim, const char* key, int32_t nth, int32_t timeout_ms,
                                     vel_buf** payload) VEL_NOEXCEPT;
VEL_API int32_t vts_sim_clear_log(vts_sim* sim) VEL_NOEXCEPT;
/* Reports every queued motion the simulator holds as finished; `finished` (may be null) counts
 * them. */
VEL_API int32_t vts_sim_finish_motion(vts_sim* sim, int32_t* finished) VEL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_TESTSIM_H */
