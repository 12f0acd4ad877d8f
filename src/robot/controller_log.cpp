// `BaseRobot::queryControllerLog`: the controller's own log, newest first.

#include <velmora/base_robot.h>

#include "common/json_read.h"
#include "robot/operation_frame.h"

namespace velmora {

using internal::makeErrorCode;

namespace {

constexpr unsigned kMaxEntries = 10;

Json::Value logQuery(unsigned count, const std::set<LogInfo::Level>& levels, unsigned offset) {
  Json::Value query(Json::objectValue);
  query["limit"] = count == 0 ? 1u : std::min(count, kMaxEntries);
  query["offset"] = offset;
  query["order"] = "time DESC";
  Json::Value names(Json::arrayValue);
  // A set iterates in ascending order; values outside the enumeration add nothing.
  for (const LogInfo::Level level : levels) {
    switch (level) {
      case LogInfo::Level::info:
        names.append("info");
        break;
      case LogInfo::Level::warning:
        names.append("warning");
        break;
      case LogInfo::Level::err:
        names.append("error");
        break;
    }
  }
  query["filter"]["level"] = std::move(names);
  return query;
}

// One entry; false for an entry that is not an object or holds a member of another kind.
bool readEntry(const Json::Value& entry, LogInfo& out) {
  if (!entry.isObject()) return false;
  int code = 0;
  std::string time, content, repair;
  // Missing members read as null: 0 and "".
  if (!internal::readInt(internal::member(entry, "err_code"), code) ||
      !internal::readString(internal::member(entry, "time"), time) ||
      !internal::readString(internal::member(entry, "content"), content) ||
      !internal::readString(internal::member(entry, "repair"), repair)) {
    return false;
  }
  out = LogInfo(code, std::move(time), std::move(content), std::move(repair));
  return true;
}

}  // namespace

std::vector<LogInfo> BaseRobot::queryControllerLog(unsigned count, const std::set<LogInfo::Level>& level,
                                                   std::error_code& ec, unsigned offset) noexcept {
  std::vector<LogInfo> entries;
  internal::runOperation(ec, [&] {
    Json::Value reply;
    internal::command(*impl_->service, "user_log.query", logQuery(count, level, offset), reply, ec);
    // A failed request has no object either, and reports -260 as the reply it lacks.
    if (!reply.isObject()) {
      ec = makeErrorCode(internal::kReplyExceptionCode);
      return;
    }
    const Json::Value& logs = internal::member(internal::member(reply, "data"), "logs");
    if (!logs.isArray()) return;
    entries.reserve(logs.size());
    for (const Json::Value& entry : logs) {
      // The texts stay UTF-8 as the controller sent them, whatever the language.
      LogInfo info;
      if (!readEntry(entry, info)) {
        ec = makeErrorCode(internal::kReplyExceptionCode);
        return;
      }
      entries.push_back(std::move(info));
    }
  });
  if (ec) entries.clear();
  return entries;
}

}  // namespace velmora
