// Readers of the kinematics replies. Each checks the kind of every value before reading it, so
// no reply can throw; the codes are the ones the operations name (261 for missing joints or
// solution lists) and 257 for any other shape they cannot use.

#include <velmora/error.h>

#include <utility>

#include "common/json_convert.h"
#include "common/json_read.h"
#include "common/reply_read.h"
#include "model/model_impl.h"

namespace velmora::internal {
namespace {

bool fail(std::error_code& ec, int code) {
  ec = makeErrorCode(code);
  return false;
}

// The pose reader takes a list of another kind for a missing one and reads zeros; in an answer
// that is garbage, not a pose at the origin.
bool listsAreArrays(const Json::Value& pose) {
  for (const char* name : {"trans", "rot", "conf", "external"}) {
    if (hasMember(pose, name) && !member(pose, name).isArray()) return false;
  }
  return true;
}

bool readIntegerList(const Json::Value& array, std::vector<int>& out) {
  if (!array.isArray()) return false;
  std::vector<int> values(array.size(), 0);
  for (Json::ArrayIndex i = 0; i < array.size(); ++i) {
    if (!readInt(array[i], values[i])) return false;
  }
  out = std::move(values);
  return true;
}

}  // namespace

bool readForwardReply(const Json::Value& reply, CartesianPosition& pose, std::error_code& ec) {
  // A bare code is the controller's refusal; the zero pose must not pass for an answer.
  if (takeIntegerReply(reply, ec, kUnreadableReplyCode)) return false;
  const Json::Value& data = member(reply, "data");
  if (!data.isObject() || !listsAreArrays(data)) return fail(ec, kUnreadableReplyCode);
  JsonReadStatus status;
  CartesianPosition read = jsonToCartesian(data, status);
  if (!status.ok()) return fail(ec, kUnreadableReplyCode);
  pose = std::move(read);
  return true;
}

bool readInverseReply(const Json::Value& reply, double* out, std::size_t count,
                      std::error_code& ec) {
  if (hasMember(reply, "error")) return fail(ec, -32);
  // A bare 0 says success but carries no joints.
  if (takeIntegerReply(reply, ec, 261)) return false;
  if (jsonToArray(member(reply, "data"), out, static_cast<unsigned>(count)) != 0) {
    return fail(ec, 261);
  }
  return true;
}

bool readAllInverseReply(const Json::Value& reply, std::vector<std::vector<double>>& solutions,
                         std::vector<std::vector<int>>& confs, std::error_code& ec) {
  if (takeIntegerReply(reply, ec, 0)) {
    if (ec) return false;
    // A bare 0 is an answer here: no solution, and so no configuration either.
    confs.clear();
    return true;
  }
  const Json::Value& result = member(member(reply, "data"), "result");
  if (!result.isArray()) return fail(ec, kUnreadableReplyCode);
  std::vector<std::vector<double>> joints(result.size());
  std::vector<std::vector<int>> configurations(result.size());
  for (Json::ArrayIndex i = 0; i < result.size(); ++i) {
    if (jsonToVector(member(result[i], "jnt"), joints[i]) != 0 ||
        !readIntegerList(member(result[i], "conf"), configurations[i])) {
      // Both lists end empty, so no index of one can point past the end of the other.
      confs.clear();
      return fail(ec, 261);
    }
  }
  solutions = std::move(joints);
  confs = std::move(configurations);
  return true;
}

}  // namespace velmora::internal
