#pragma once
// The frame every public robot operation follows: an entry line (debug, global log only), the
// operation's own argument checks (a refused argument logs its line and sends nothing), one or
// a few requests on the robot's command link, the reply read with its kind checked, an end
// line (info, global log then the robot log, with the same text).
//
// The operations are noexcept and the controller may answer anything, so the body of each one
// runs inside `runOperation`: whatever a reply read still throws becomes -260 ("protocol
// mismatch") at the operation's boundary instead of terminating the caller's program. The
// readers below never throw; a result is built only while `ec` is clear.
//
// Log helpers take an fmt format string checked at compile time; each value is cut as
// `logLine` says (common/operation_log.h); a line that fails to format or to write costs only
// that line. The last "({})" of a line prints `ec`'s integer value
// (the formatter in common/formatters.h).

#include <fmt/format.h>
#include <json/value.h>
#include <spdlog/common.h>
#include <spdlog/logger.h>
#include <velmora/base_robot.h>
#include <velmora/error.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/enum_names.h"
#include "common/formatters.h"
#include "common/globals.h"
#include "common/logging.h"
#include "common/operation_log.h"
#include "common/reply_read.h"
#include "common/result_codes.h"
#include "robot_impl/robot_impl.h"

namespace velmora::internal {

// ---- The boundary ----

/// Clears `ec`, then runs `body`; anything it throws (a JSON read the kind checks did not
/// foresee, memory exhaustion) sets `ec` to -260. Use it around everything between the entry
/// line and the end line; `body` returns nothing and leaves its result in captured variables.
template <typename Body>
void runOperation(std::error_code& ec, Body&& body) noexcept {
  ec = makeErrorCode(0);
  guardReply(ec, std::forward<Body>(body));
}

/// The same for an object a move may have left empty: 255 and nothing else when `impl` is
/// null; `body` receives the implementation.
template <typename Impl, typename Body>
void runOperation(Impl* impl, std::error_code& ec, Body&& body) noexcept {
  ec = makeErrorCode(0);
  if (impl == nullptr) {
    ec = makeErrorCode(kNoObjectCode);
    return;
  }
  guardReply(ec, [&] { body(*impl); });
}

// ---- Log lines ----

/// The robot's own log (the console logger until the first connection set it up).
inline std::shared_ptr<spdlog::logger> robotLog(const BaseRobot::Impl& impl) noexcept {
  try {
    return impl.service->logger();
  } catch (...) {
    return nullptr;
  }
}

/// Entry line: debug level, global log only. Formatted only when the global log would write
/// it (it is off at the default level, and operations should not pay for it).
template <typename... Args>
void logEntry(fmt::format_string<Args...> format, Args&&... args) noexcept {
  try {
    const auto& global = globalLogger();
    if (!global || !global->should_log(spdlog::level::debug)) return;
    global->log(spdlog::level::debug, logLine(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

/// A line at `level` to the global log and then, with the same text, to the robot log.
template <typename... Args>
void logBoth(const BaseRobot::Impl& impl, spdlog::level::level_enum level, fmt::format_string<Args...> format,
             Args&&... args) noexcept {
  try {
    logOperation(robotLog(impl), level, logLine(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

/// End line: info level, global log then robot log.
template <typename... Args>
void logEnd(const BaseRobot::Impl& impl, fmt::format_string<Args...> format, Args&&... args) noexcept {
  logBoth(impl, spdlog::level::info, format, std::forward<Args>(args)...);
}

/// A line to the robot log only: the lines of files, projects, tools, time and state recovery
/// concern this one controller and stay out of the global log.
template <typename... Args>
void logRobotOnly(const BaseRobot::Impl& impl, spdlog::level::level_enum level, fmt::format_string<Args...> format,
                  Args&&... args) noexcept {
  try {
    if (const auto log = robotLog(impl)) log->log(level, logLine(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

/// The robot log as the model, force-control and EtherCAT objects reach it: the logger of the
/// link they were given (the robot's, or one set up from it).
inline std::shared_ptr<spdlog::logger> robotLog(const XService& link) noexcept {
  try {
    return link.logger();
  } catch (...) {
    return nullptr;
  }
}

/// `logBoth` for those objects: global log, then the same text to the link's robot log.
template <typename... Args>
void logBoth(const XService& link, spdlog::level::level_enum level, fmt::format_string<Args...> format,
             Args&&... args) noexcept {
  try {
    logOperation(robotLog(link), level, logLine(format, std::forward<Args>(args)...));
  } catch (...) {
  }
}

// ---- Argument checks ----

/// A refused argument: `ec` = `code` and the check's line at error level to both logs. The
/// caller returns without a request.
template <typename... Args>
void refuse(const BaseRobot::Impl& impl, std::error_code& ec, int code, fmt::format_string<Args...> format,
            Args&&... args) noexcept {
  ec = makeErrorCode(code);
  logBoth(impl, spdlog::level::err, format, std::forward<Args>(args)...);
}

/// `refuse` for the model, force-control and EtherCAT objects, whose robot log is their link's.
template <typename... Args>
void refuse(const XService& link, std::error_code& ec, int code, fmt::format_string<Args...> format,
            Args&&... args) noexcept {
  ec = makeErrorCode(code);
  logBoth(link, spdlog::level::err, format, std::forward<Args>(args)...);
}

/// The shared "uninitialized" check: false, `ec` = 255 and `line` ("uid: {} | <op>
/// uninitialized({})", uid then `ec`) at error level when there is no motion control yet.
bool requireMotionControl(const BaseRobot::Impl& impl, std::error_code& ec,
                          fmt::format_string<const LogUid&, const std::error_code&> line) noexcept;

/// The shared "control mode error" check: false, `ec` = 262 and `line` ("uid: {} | <op>
/// control mode error {} ({})", uid, the current mode's name, `ec`) when NrtRLTask was never
/// chosen (no RL-task motion control).
bool requireRlTaskControl(const BaseRobot::Impl& impl, std::error_code& ec,
                          fmt::format_string<const LogUid&, std::string_view, const std::error_code&> line) noexcept;

// ---- Requests ----

// Every operation of the robot, model, force-control and EtherCAT classes reaches its link
// through these: the robot's command link, or an extension object's own.

/// "c" {key: value}, waiting `timeout` (the link's request wait when none): `reply` = the reply's value for the key.
/// `ec` is the link's: 256 link down, 257 key missing, 263 no reply in time; `reply` untouched then.
void command(XService& link, const std::string& key, const Json::Value& value, Json::Value& reply, std::error_code& ec,
             std::optional<std::chrono::nanoseconds> timeout = std::nullopt);
/// "g" {key: param}: `reply` = the reply's value for the key; link codes as `command`.
void get(XService& link, const std::string& key, const Json::Value& param, Json::Value& reply, std::error_code& ec);
/// "s" {key: value}: `ec` = the controller's integer answer (0 success), or the link's code
/// (257 also for an answer that is not an integer).
void set(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec);
/// The most common operation body: "c" {key: value}, then the reply is the code
/// (`takeReplyCode`).
void commandForCode(XService& link, const std::string& key, const Json::Value& value, std::error_code& ec,
                    std::optional<std::chrono::nanoseconds> timeout = std::nullopt);
/// "s" {key: value} where the answer is the caller's to judge: `answer` = the controller's
/// integer, `ec` only the link's code (257 also for an answer that is not an integer).
void set(XService& link, const std::string& key, const Json::Value& value, int& answer, std::error_code& ec);
/// "g" {keys[i]: params[i], ...} in one request: `reply` = the reply's whole "g" object, each
/// key's value under its key. 259 and nothing sent when the lists differ in length.
void getMany(XService& link, const std::vector<std::string>& keys, const std::vector<Json::Value>& params,
             Json::Value& reply, std::error_code& ec);

// ---- Reply readers (never throw) ----

/// The code a reply carries: its integer; 0 for null (a reply with no value); -260 for any
/// other kind (text, flag, object, array, a number with a fraction or beyond int).
int replyCode(const Json::Value& reply) noexcept;
/// When `ec` is clear, `ec` = `replyCode(reply)`; a failed request keeps its own code.
void takeReplyCode(const Json::Value& reply, std::error_code& ec) noexcept;
/// A text reply into `out` (true); any other kind leaves `out` and gives false.
bool readText(const Json::Value& reply, std::string& out);
/// The first `n` values of an array of numbers (flags and null read as 0/1 and 0) into `out`:
/// all or nothing, false when not an array, shorter than `n` or holding another kind.
bool readNumbers(const Json::Value& array, double* out, std::size_t n);

}  // namespace velmora::internal
