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
 *
 * The declarations of the exports are in native/velmora_c_operations.h, which
 * tools/abi/generate.py writes from managed/abi/operations.toml.
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

/* ---- Extensions: kinematics, force control, EtherCAT, upgrade client -------------------- */

typedef struct vel_robot vel_robot;
typedef struct vel_forcecontrol vel_forcecontrol;
typedef struct vel_ethercat vel_ethercat;
typedef struct vel_upgrade vel_upgrade;

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

/* ---- Events, connection handler and motion --------------------------------------------- */

/* The two entry points of every robot callback, set once by the managed side: an event of
 * `type` for robot `robot_id` with its information as an EventInfo blob (valid during the
 * call), and a connection change (1 up, 0 lost). Native code holds no other pointer into
 * managed code; a callback of a robot that no longer exists reaches these with its old id. */
typedef void (*vel_event_fn)(int64_t robot_id, int32_t type, const uint8_t* info, int32_t length);
typedef void (*vel_connection_fn)(int64_t robot_id, uint8_t connected);

/* Move types of a command list (MoveCommand.Type). */
#define VEL_MOVE_L 0
#define VEL_MOVE_J 1
#define VEL_MOVE_ABSJ 2
#define VEL_MOVE_C 3
#define VEL_MOVE_CF 4
#define VEL_MOVE_SP 5
#define VEL_MOVE_WAIT 6

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

/* The exports themselves, written from managed/abi/operations.toml. */
#include "native/velmora_c_operations.h"

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_C_H */
