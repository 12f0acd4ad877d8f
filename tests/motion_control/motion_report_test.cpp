#include "motion_control/motion_report.h"

#include <velmora/error.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/json_match.h"
#include "support/lang_guard.h"

using namespace velmora::internal;
using Kind = MotionMessage::Kind;

TEST(MotionReport, Replies) {
  struct Row {
    const char* message;
    std::vector<int> refusals;
    const char* id;
    const char* custom;
  };
  const Row table[] = {
      {R"({"c":{"move.l":-16},"id":"l#3"})", {-16}, "l#3", ""},
      {R"({"c":{"move.l":-3.0},"id":"l#3*pick"})", {-3}, "l#3", "pick"},
      {R"({"c":{"move.l":-20},"id":"l#3"})", {-20}, "l#3", ""},
      {R"({"c":{"move.l":0},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"move.l":-21},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"move.l":-2},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"move.l":-3.5},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"move.l":"-16"},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"move.l":true},"id":"l#3"})", {}, "l#3", ""},
      {R"({"c":{"a":-4,"b":-17},"id":7})", {-4, -17}, "7", ""},
      {R"({"c":{"a":-4},"id":[7]})", {-4}, "", ""},
  };
  for (const auto& row : table) {
    const MotionMessage m = interpretMotionMessage(parseJson(row.message));
    ASSERT_EQ(m.kind, Kind::reply) << row.message;
    EXPECT_EQ(m.reply.refusals, row.refusals) << row.message;
    EXPECT_EQ(m.reply.cmdID, row.id) << row.message;
    EXPECT_EQ(m.reply.customInfo, row.custom) << row.message;
  }
}

TEST(MotionReport, Reports) {
  LangGuard english(1);
  struct Row {
    const char* body;
    const char* id;
    const char* custom;
    bool hasHash;
    int point;
    bool finished;
    bool stop;
    int error;
    std::string remark;
    bool notifies;
  };
  const std::string textOf0 = apiErrorCategory().message(0);
  const std::string textOfMinus16 = apiErrorCategory().message(-16);
  const Row table[] = {
      {R"({"error":0,"data":{"id":"j#4*pick","point":2,"msg":"finish:0"}})", "j#4", "pick", true, 2, true, false, 0,
       textOf0, true},
      {R"({"error":0,"data":{"id":"j#4","point":0,"msg":"finish: -16 done"}})", "j#4", "", true, 0, true, false, 0,
       textOfMinus16, true},
      {R"({"error":0,"data":{"id":"j#4","point":0,"msg":"finish:abc"}})", "j#4", "", true, 0, true, false, 0, "", true},
      {R"({"error":0,"data":{"id":"j#4","point":0,"msg":"finish:99999999999"}})", "j#4", "", true, 0, true, false, 0,
       "", true},
      {R"({"error":0,"data":{"id":"j#4","point":1,"msg":"moving"}})", "j#4", "", true, 1, false, false, 0, "", false},
      {R"({"error":-1,"data":{"id":"l#1","point":0,"msg":"ik"}})", "l#1", "", true, 0, false, true, -33, "", true},
      {R"({"data":{"id":"l#1","point":0,"msg":"ik failed"}})", "l#1", "", true, 0, false, false, -32, "", true},
      {R"({"error":-257,"data":{"id":"l#1","point":0,"msg":"stopped"}})", "l#1", "", true, 0, false, true, 0, "",
       false},
      {R"({"error":-1,"data":{"id":"l#1","point":3,"msg":"finish"}})", "l#1", "", true, 3, true, true, 0, "", true},
      {R"({"error":-16,"data":{"id":"plain","point":0,"msg":"bad"}})", "plain", "", false, 0, false, false, -16, "",
       true},
      {R"({"error":-2147483648,"data":{"msg":"ik"}})", "", "", false, 0, false, false, -2147483647 - 1, "", true},
      {R"({"error":5})", "", "", false, 0, false, false, 5, "", true},
      {R"({"error":0,"data":{"id":5,"point":1,"msg":12}})", "5", "", false, 1, false, false, 0, "", false},
  };
  for (const auto& row : table) {
    Json::Value message;
    message["id"] = 1;
    message["n"][kLastErrorTopic] = parseJson(row.body);
    const MotionMessage m = interpretMotionMessage(message);
    ASSERT_EQ(m.kind, Kind::report) << row.body;
    const MotionReport& r = m.report;
    EXPECT_EQ(r.cmdID, row.id) << row.body;
    EXPECT_EQ(r.customInfo, row.custom) << row.body;
    EXPECT_EQ(r.hasHash, row.hasHash) << row.body;
    EXPECT_EQ(r.point, row.point) << row.body;
    EXPECT_EQ(r.finished, row.finished) << row.body;
    EXPECT_EQ(r.stop, row.stop) << row.body;
    EXPECT_EQ(r.error.value(), row.error) << row.body;
    EXPECT_EQ(&r.error.category(), &apiErrorCategory()) << row.body;
    EXPECT_EQ(r.remark, row.remark) << row.body;
    EXPECT_EQ(r.notifies(), row.notifies) << row.body;
  }
}

// Shapes a hostile or confused controller might send: none of them is a reply or a report,
// so none may touch the execution information.
TEST(MotionReport, WrongKindsAreIgnored) {
  const char* const table[] = {
      R"([1,2])",
      R"("text")",
      R"({"id":"l#1"})",
      R"({"id":"l#1","x":1})",
      R"({"c":"wrong kind","id":"l#1"})",
      R"({"id":1,"n":"move.last_error_with_setting"})",
      R"({"id":1,"n":{"safety.event.collision":true}})",
      R"({"id":1,"n":{"move.last_error_with_setting":null}})",
      R"({"id":1,"n":{"move.last_error_with_setting":[1]}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":"bad"}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":1.5}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":1e12}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":0,"data":7}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":0,"data":{"id":[5],"msg":"finish"}}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":0,"data":{"id":"l#1","msg":{}}}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":0,"data":{"id":"l#1","point":"2"}}}})",
      R"({"id":1,"n":{"move.last_error_with_setting":{"error":0,"data":{"id":"l#1","msg":["finish"]}}}})",
  };
  for (const char* text : table) {
    EXPECT_EQ(interpretMotionMessage(parseJson(text)).kind, Kind::ignored) << text;
  }
}

TEST(MotionReport, SplitCustomInfo) {
  struct Row {
    const char* id;
    const char* before;
    const char* after;
    const char* custom;
  };
  const Row table[] = {{"j#1*pick", "j#1", "pick", "pick"},
                       {"j#1*a*b", "j#1", "a*b", "a*b"},
                       {"j#1*", "j#1", "", ""},
                       {"j#1", "j#1", "keep", "keep"}};
  for (const auto& row : table) {
    std::string id = row.id;
    std::string custom = "keep";
    splitCustomInfo(id, custom);
    EXPECT_EQ(id, row.before) << row.id;
    EXPECT_EQ(custom, row.custom) << row.id;
  }
}

TEST(MotionReport, ResultCodes) {
  const std::pair<const char*, int> table[] = {{"0", 0},        {"-1", -1},    {"null", 0},  {"-16.0", -16},
                                               {"\"0\"", -260}, {"[]", -260},  {"{}", -260}, {"1.5", -260},
                                               {"true", -260},  {"5e10", -260}};
  for (const auto& [text, code] : table) EXPECT_EQ(resultCode(parseJson(text)), code) << text;
}
