#include <velmora/error.h>

#include <gtest/gtest.h>

#include <json/writer.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "common/json_convert.h"
#include "support/json_match.h"

using namespace velmora;
using namespace velmora::internal;
using Triple = std::array<double, 3>;

namespace {

// Through the wire text, as the controller would see it.
Json::Value viaText(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return parseJson(Json::writeString(builder, value));
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(JsonConvert, FramesAndElbowPosesRoundTripExactly) {
  for (double a : {0.1, -0.0, 1e-300, 5e-324, std::numeric_limits<double>::max(), 1.0 / 3, -7.0}) {
    const double b = 0.30000000000000004;
    const Frame frame({a, b, a}, {b, a, -b});
    Json::Value json;
    frameToJson(frame, json);
    const Frame back = jsonToFrame(viaText(json));
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(sameBits(back.trans[i], frame.trans[i]) && sameBits(back.rpy[i], frame.rpy[i])) << a;
    }
    for (int confCount : {0, 8}) {
      CartesianPosition pose{a, b, -a, b, a, -b};
      pose.elbow = -a;
      pose.external = {a, b};
      for (int i = 0; i < confCount; ++i) pose.confData.push_back(i - 4);
      const CartesianPosition got = jsonToCartesian(viaText(cartesianToJson(pose, false)));
      EXPECT_EQ(got.trans, pose.trans);
      EXPECT_EQ(got.rpy, pose.rpy);
      EXPECT_TRUE(sameBits(got.elbow, pose.elbow)) << a;
      EXPECT_EQ(got.confData, pose.confData);
      EXPECT_EQ(got.external, pose.external);
    }
  }
}

TEST(JsonConvert, GoldenWriters) {
  CartesianPosition pose{1, 2, 3, 0, 0.5, 0};
  pose.elbow = 0.25;
  pose.confData = {1, 2, 3};
  EXPECT_EQ(
      cartesianToJson(pose, false),
      parseJson(R"({"trans":[1.0,2.0,3.0],"rot":[0.0,0.5,0.0],"elb":0.25,"conf":[1.0,2.0,3.0,0.0,0.0,0.0,0.0,0.0]})"));
  pose.confData = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  pose.external = {7};
  pose.elbow = 0;
  const Json::Value redundant = parseJson(
      R"({"trans":[1.0,2.0,3.0],"rot":[0.0,0.5,0.0],"redundant":[0.0],"conf":[1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0],"external":[7.0]})");
  Json::Value out(5);
  EXPECT_EQ(&cartesianToJson(out, pose, true), &out);
  EXPECT_EQ(out, redundant);

  const Json::Value load = parseJson(R"({"mass":1.5,"cog":[0.0,0.0,0.1],"inertia":[0.01,0.02,0.03]})");
  EXPECT_EQ(loadToJson(Load(1.5, {0, 0, 0.1}, {0.01, 0.02, 0.03})), load);
  Json::Value loadOut("old");
  EXPECT_EQ(loadToJson(loadOut, Load(1.5, {0, 0, 0.1}, {0.01, 0.02, 0.03})), load);

  Json::Value withName = parseJson(R"({"name":""})");
  frameToJson(Frame({1, 2, 3}, {4, 5, 6}), withName);
  EXPECT_EQ(withName, parseJson(R"({"name":"","trans":[1.0,2.0,3.0],"rot":[4.0,5.0,6.0]})"));
  Json::Value notObject(3);
  frameToJson(Frame(), notObject);  // jsoncpp would throw on a member of an integer
  EXPECT_EQ(notObject, parseJson(R"({"trans":[0.0,0.0,0.0],"rot":[0.0,0.0,0.0]})"));
}

TEST(JsonConvert, ArraysVectorsAndPartialPoses) {
  double out[3] = {9, 9, 9};
  EXPECT_EQ(jsonToArray(parseJson("[1, 2.5, true, 4]"), out, 3), 0);
  EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{1, 2.5, 1}));
  for (const char* refused : {"[1, 2]", "{}", "null", "[1, \"x\", 3]"}) {
    double untouched[3] = {9, 9, 9};
    EXPECT_EQ(jsonToArray(parseJson(refused), untouched, 3), 1) << refused;
    EXPECT_EQ(untouched[0], 9) << refused;
  }
  std::vector<double> v{5};
  EXPECT_EQ(jsonToVector(parseJson("[1, {}]"), v), 1);
  EXPECT_EQ(v, std::vector<double>{5});
  EXPECT_EQ(jsonToVector(parseJson("[]"), v), 0);
  EXPECT_TRUE(v.empty());

  EXPECT_EQ(jsonToCartesian(parseJson(R"({"trans":[1,2,3]})")).trans, (Triple{1, 2, 3}));
  const CartesianPosition rotOnly = jsonToCartesian(parseJson(R"({"rot":[1,2,3],"trans":[1]})"));
  EXPECT_EQ(rotOnly.rpy, Triple{});
  const CartesianPosition conf = jsonToCartesian(parseJson(R"({"conf":[1.9,-1.9,7,true,null],"redundant":[1]})"));
  EXPECT_EQ(conf.confData, (std::vector<int>{1, -1, 7, 1, 0}));
  EXPECT_EQ(conf.elbow, 0.0);
  // A configuration that cannot be read is dropped whole, never half-read.
  for (const char* bad : {R"({"conf":[1,3e9]})", R"({"conf":[1,"2"]})", R"({"conf":[-1e10]})"}) {
    JsonReadStatus status;
    EXPECT_TRUE(jsonToCartesian(parseJson(bad), status).confData.empty()) << bad;
    EXPECT_EQ(status.field(), "conf") << bad;
  }
}

TEST(JsonConvert, ToolsetsAndRobotInformation) {
  const Json::Value full = parseJson(
      R"({"end":{"trans":[1,2,3],"rot":[4,5,6]},"ref":{"trans":[7,8,9],"rot":[0,0,1]},"load":{"mass":2.5,"inertia":[1,2,3]}})");
  Toolset t;
  ASSERT_EQ(jsonToToolset(full, t), 0);
  EXPECT_EQ(t.end.rpy, (Triple{4, 5, 6}));
  EXPECT_EQ(t.ref.trans, (Triple{7, 8, 9}));
  EXPECT_EQ(t.load.mass, 2.5);
  EXPECT_EQ(t.load.cog, Triple{});
  Json::Value noRef = full;
  noRef.removeMember("ref");
  for (const Json::Value& refused : {noRef, Json::Value(3), Json::Value()}) {
    Toolset unchanged;
    unchanged.load.mass = 42;
    EXPECT_EQ(jsonToToolset(refused, unchanged), 1);
    EXPECT_EQ(unchanged.load.mass, 42);
  }

  const Info a =
      jsonToInfo(parseJson(R"({"id":"","version":"2.1","version_3.0":"3.1.0","mac":"m","type":"x6","joint_num":6.0})"));
  EXPECT_EQ(std::vector<std::string>({a.id, a.version, a.mac, a.type}),
            std::vector<std::string>({"default", "3.1.0", "m", "x6"}));
  EXPECT_EQ(a.joint_num, 6);
  const Info b = jsonToInfo(parseJson(R"({"id":"c1","version":"2.1"})"));
  EXPECT_EQ(b.id + b.version + b.mac, "c12.1");
  EXPECT_EQ(b.joint_num, 0);
  EXPECT_EQ(jsonToInfo(parseJson(R"({"version_3.0":null,"version":"2.1"})")).version, "");
}

TEST(JsonConvert, ErrorReplies) {
  struct Row {
    const char* reply;
    int preset, code;
    const char* text;
  };
  const Row rows[] = {
      {"-3", 0, -3, "keep"},
      {"-3.0", 0, -3, "keep"},
      {"-3", 256, 256, "keep"},
      {R"({"error":-3,"data":{"msg":"m"}})", 0, -3, "m"},
      {R"({"error":-3,"data":{"msg":"m"}})", -1, -1, "keep"},
      {R"({"error":-5,"data":"plain"})", 0, -5, "plain"},
      {R"({"data":5})", 0, 0, "keep"},
      {R"({"error":"bad","data":"d"})", 0, 0, "d"},
      {R"({"error":2.5})", 0, 0, "keep"},
      {"[-3]", 0, 0, "keep"},
      {"3000000000", 0, 0, "keep"},
  };
  for (const Row& r : rows) {
    std::error_code ec = r.preset ? makeErrorCode(r.preset) : std::error_code();
    std::string text = "keep";
    parseErrorReply(parseJson(r.reply), ec, text);
    EXPECT_EQ(ec.value(), r.code) << r.reply;
    EXPECT_TRUE(r.code == 0 || &ec.category() == &apiErrorCategory()) << r.reply;
    EXPECT_EQ(text, r.text) << r.reply;
  }
}

// Every field of every reader fed every kind of value: nothing throws, a kind the protocol does
// not accept is reported under the field's name, and an accepted kind reads as documented.
namespace {

enum class Site { number, integer, text, object, shape };

Json::Value& at(Json::Value& root, const std::string& path) {
  Json::Value* v = &root;
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string segment = path.substr(start, end - start);
    v = std::isdigit(static_cast<unsigned char>(segment[0])) ? &(*v)[static_cast<Json::ArrayIndex>(std::stoul(segment))]
                                                             : &(*v)[segment];
    start = end + 1;
  }
  return *v;
}

struct Outcome {
  JsonReadStatus status;
  std::map<std::string, double> numbers;
  std::string text;
};

void flatten(const std::string& prefix, const Frame& f, Outcome& o) {
  for (int i = 0; i < 3; ++i) {
    o.numbers[prefix + "trans/" + std::to_string(i)] = f.trans[i];
    o.numbers[prefix + "rot/" + std::to_string(i)] = f.rpy[i];
  }
}

// Runs the reporting form (and the plain form, for throws) of one reader.
Outcome run(const std::string& reader, const std::string& path, const Json::Value& doc) {
  Outcome o;
  if (reader == "frame") {
    flatten("", jsonToFrame(doc, o.status), o);
    (void)jsonToFrame(doc);
  } else if (reader == "pose") {
    const CartesianPosition p = jsonToCartesian(doc, o.status);
    (void)jsonToCartesian(doc);
    flatten("", p, o);
    o.numbers["elb"] = p.elbow;
    if (p.confData.size() > 1) o.numbers["conf/1"] = p.confData[1];
    if (!p.external.empty()) o.numbers["external/0"] = p.external[0];
  } else if (reader == "toolset") {
    Toolset t;
    Toolset plain;
    const int rc = jsonToToolset(doc, t, o.status);
    EXPECT_EQ(rc, o.status.ok() ? 0 : 1);
    EXPECT_EQ(jsonToToolset(doc, plain), rc);
    flatten("end/", t.end, o);
    flatten("ref/", t.ref, o);
    o.numbers["load/mass"] = t.load.mass;
    o.numbers["load/cog/2"] = t.load.cog[2];
  } else if (reader == "info") {
    const Info info = jsonToInfo(doc, o.status);
    (void)jsonToInfo(doc);
    o.numbers["joint_num"] = info.joint_num;
    o.text = path == "id" ? info.id : path == "mac" ? info.mac : info.version;
  } else {
    std::error_code ec;
    std::string text;
    parseErrorReply(doc, ec, o.text, o.status);
    parseErrorReply(doc, ec, text);
    o.numbers["error"] = ec.value();
  }
  return o;
}

}  // namespace

TEST(JsonConvert, HostileKindsInEveryField) {
  const std::map<std::string, Json::Value> base = {
      {"frame", parseJson(R"({"trans":[1,2,3],"rot":[4,5,6]})")},
      {"pose", parseJson(R"({"trans":[1,2,3],"rot":[4,5,6],"elb":0.5,"conf":[1,0,1],"external":[9]})")},
      {"toolset", parseJson(R"({"end":{"trans":[1,2,3],"rot":[4,5,6]},"ref":{"trans":[1,2,3],"rot":[4,5,6]},)"
                            R"("load":{"mass":1,"cog":[1,2,3],"inertia":[1,2,3]}})")},
      {"info", parseJson(R"({"id":"a","mac":"m","version_3.0":"3","joint_num":6})")},
      {"error", parseJson(R"({"error":-3,"data":"d"})")},
  };
  struct Case {
    const char* reader;
    const char* path;
    Site site;
    const char* field;  // name in the report
  };
  const Case cases[] = {
      {"frame", "", Site::object, ""},
      {"frame", "trans", Site::shape, ""},
      {"frame", "trans/1", Site::number, "trans"},
      {"frame", "rot/2", Site::number, "rot"},
      {"pose", "", Site::object, ""},
      {"pose", "elb", Site::number, "elb"},
      {"pose", "conf", Site::shape, ""},
      {"pose", "conf/1", Site::integer, "conf"},
      {"pose", "external", Site::shape, ""},
      {"pose", "external/0", Site::number, "external"},
      {"toolset", "end", Site::object, "end"},
      {"toolset", "end/trans/1", Site::number, "end.trans"},
      {"toolset", "ref/rot/0", Site::number, "ref.rot"},
      {"toolset", "load", Site::object, "load"},
      {"toolset", "load/mass", Site::number, "load.mass"},
      {"toolset", "load/cog/2", Site::number, "load.cog"},
      {"info", "", Site::object, ""},
      {"info", "id", Site::text, "id"},
      {"info", "mac", Site::text, "mac"},
      {"info", "version_3.0", Site::text, "version_3.0"},
      {"info", "joint_num", Site::integer, "joint_num"},
      {"error", "", Site::shape, ""},
      {"error", "error", Site::integer, "error"},
      {"error", "data", Site::shape, ""},
  };
  struct Kind {
    const char* name;
    Json::Value value;
    double number;     // what a number site reads
    const char* text;  // what a text site reads
  };
  const Kind kinds[] = {
      {"text", "x", 0, "x"},
      {"object", parseJson(R"({"a":1})"), 0, ""},
      {"array", parseJson("[1,2,3]"), 0, ""},
      {"null", {}, 0, ""},
      {"flag", true, 1, "true"},
      {"negative", -2, -2, "-2"},
      {"huge real", 1e300, 1e300,
       "1000000000000000052504760255204420248704468581108159154915854115511802457988908195786371375080"
       "4478640437044438328838781769425232353604305756447921847867069828483872009265758037378302337947"
       "88090059368953234970799945081119038967640880074652742780142494579258788820056842838115669472196"
       "386865459400540160"}};
  const std::map<Site, std::set<std::string>> refused = {
      {Site::number, {"text", "object", "array"}},
      {Site::integer, {"text", "object", "array", "huge real"}},
      {Site::text, {"object", "array"}},
      {Site::object, {"text", "array", "flag", "negative", "huge real"}},
      {Site::shape, {}},
  };
  for (const Case& c : cases) {
    for (const Kind& k : kinds) {
      Json::Value doc = base.at(c.reader);
      at(doc, c.path) = k.value;
      const std::string where = std::string(c.reader) + " " + c.path + " <- " + k.name;
      Outcome o;
      ASSERT_NO_THROW(o = run(c.reader, c.path, doc)) << where;
      const bool reported = refused.at(c.site).count(k.name) != 0;
      EXPECT_EQ(!o.status.ok(), reported) << where << ": " << o.status.describe();
      if (reported) {
        EXPECT_EQ(o.status.field(), c.field) << where;
      } else if (c.site == Site::number || c.site == Site::integer) {
        EXPECT_EQ(o.numbers[c.path], k.number) << where;
      } else if (c.site == Site::text) {
        const bool defaultId = k.value.isNull() && std::string(c.path) == "id";
        EXPECT_EQ(o.text, defaultId ? "default" : k.text) << where;
      }
    }
  }
}
