// Controller replies are untrusted: any bytes that parse as JSON must go through every reader
// and converter without an exception, a crash or undefined behaviour, and what the readers
// accept must survive the writers unchanged.
#include <json/reader.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "common/formatters.h"
#include "common/json_convert.h"
#include "common/json_read.h"
#include "common/value_checks.h"
#include "fuzz_support.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

using fuzz::require;

void readers(const Json::Value& v) {
  JsonReadStatus status;
  int i = 0;
  unsigned u = 0;
  std::uint64_t u64 = 0;
  double d = 0;
  bool b = false;
  std::string s;
  // The plain and the reporting forms agree on what they accept.
  require(readInt(v, i) == readInt(v, i, status, "i"));
  require(readUInt(v, u) == readUInt(v, u, status, "u"));
  require(readUInt64(v, u64) == readUInt64(v, u64, status, "u64"));
  require(readDouble(v, d) == readDouble(v, d, status, "d"));
  require(readBool(v, b) == readBool(v, b, status, "b"));
  require(readString(v, s) == readString(v, s, status, "s"));
  (void)status.describe();
  (void)member(v, "trans");
  (void)hasMember(v, "conf");
  (void)element(v, 2);
  (void)kindName(v);
}

void converters(const Json::Value& v) {
  double three[3] = {7, 7, 7};
  if (jsonToArray(v, three, 3) != 0) require(three[0] == 7 && three[1] == 7 && three[2] == 7);
  std::vector<double> vec{7};
  if (jsonToVector(v, vec) != 0) require(vec.size() == 1 && vec[0] == 7);

  JsonReadStatus status;
  const Frame frame = jsonToFrame(v, status, "frame");
  const CartesianPosition pose = jsonToCartesian(v, status, "pose");
  Toolset toolset;
  (void)jsonToToolset(v, toolset, status);
  const Info info = jsonToInfo(v, status);
  require(!info.id.empty());
  std::error_code ec;
  std::string text;
  parseErrorReply(v, ec, text, status);
  (void)status.describe();

  // What was read goes back out and reads the same.
  Json::Value out;
  frameToJson(frame, out);
  const Frame frameBack = jsonToFrame(out);
  require(frameBack.trans == frame.trans && frameBack.rpy == frame.rpy);
  const CartesianPosition poseBack = jsonToCartesian(cartesianToJson(pose, false));
  require(poseBack.trans == pose.trans && poseBack.rpy == pose.rpy);
  require(poseBack.elbow == pose.elbow && poseBack.external == pose.external);
  require(poseBack.confData.size() == (pose.confData.empty() ? 0u : 8u));
  (void)cartesianToJson(out, pose, true);
  (void)loadToJson(out, toolset.load);
  (void)isMatrixOnly(pose);
  (void)allFinite(pose, toolset);

  (void)fmt::format("{} {} {} {} {}", frame, pose, toolset, toolset.load, ec);
}

void exercise(const Json::Value& v) {
  readers(v);
  converters(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* begin = reinterpret_cast<const char*>(data);
  Json::Value root;
  if (!fuzz::parseJson(begin, begin + size, root)) return 0;
  exercise(root);
  // One level down as well: replies nest their payload under a key or in an array.
  Json::ArrayIndex visited = 0;
  if (root.isArray()) {
    for (const Json::Value& child : root) {
      if (++visited > 64) break;
      exercise(child);
    }
  } else if (root.isObject()) {
    for (const std::string& name : root.getMemberNames()) {
      if (++visited > 64) break;
      exercise(member(root, name));
    }
  }
  return 0;
}
