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

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_C_H */
