#include <gmock/gmock.h>
#include <spdlog/sinks/ostream_sink.h>
#include <velmora/model.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <type_traits>

#include "support/command_link.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/log_capture.h"
#include "support/sim_fixture.h"
#include "velmora_sim/model_identity.h"

using velmora::CartesianPosition;
using velmora::Model_T;
using velmora::Toolset;
using velmora_sim::Behaviour;
using namespace std::chrono_literals;

namespace {

// Values whose shortest text has 17 digits, tiny and huge magnitudes, signs.
constexpr double kJointValues[] = {
    0.1, -2.718281828459045, 1e-300, 123456.789, -0.3333333333333333, 3.141592653589793, 4.9406564584124654e-324};

Toolset sampleToolset() {
  Toolset toolset;
  toolset.end.trans = {0.1, 0.2, 0.3};
  toolset.end.rpy = {0.4, 0.5, 0.6};
  toolset.ref.trans = {1, 2, 3};
  toolset.ref.rpy = {4, 5, 6};
  toolset.load.mass = 1.5;
  toolset.load.cog = {7, 8, 9};
  toolset.load.inertia = {10, 11, 12};
  return toolset;
}

template <typename Axes>
class ModelRoundTrip : public SimTest {};

using AxisCounts =
    ::testing::Types<std::integral_constant<unsigned short, 3>, std::integral_constant<unsigned short, 4>,
                     std::integral_constant<unsigned short, 5>, std::integral_constant<unsigned short, 6>,
                     std::integral_constant<unsigned short, 7>>;
TYPED_TEST_SUITE(ModelRoundTrip, AxisCounts);

TYPED_TEST(ModelRoundTrip, IdentityModelInvertsExactly) {
  constexpr unsigned short N = TypeParam::value;
  velmora_sim::IdentityModel(N).install(this->command());
  Model_T<N> model(connectedLink(this->address()));
  std::array<double, N> joints{};
  std::copy(kJointValues, kJointValues + N, joints.begin());
  std::error_code ec;

  const CartesianPosition pose = model.calcFk(joints, ec);
  ASSERT_FALSE(ec) << ec.value();
  EXPECT_EQ(model.calcIk(pose, ec), joints);
  EXPECT_FALSE(ec) << ec.value();

  const Toolset toolset = sampleToolset();
  const CartesianPosition toolPose = model.calcFk(joints, toolset, ec);
  ASSERT_FALSE(ec) << ec.value();
  EXPECT_EQ(model.calcIk(toolPose, toolset, ec), joints);
  EXPECT_FALSE(ec) << ec.value();

  std::vector<std::vector<int>> confs;
  const auto solutions = model.calcAllIkSolutions(pose, confs, ec);
  ASSERT_FALSE(ec) << ec.value();
  std::vector<int> padded = pose.confData;
  padded.resize(8, 0);
  EXPECT_THAT(solutions, ::testing::ElementsAre(std::vector<double>(joints.begin(), joints.end())));
  EXPECT_THAT(confs, ::testing::ElementsAre(padded));
}

class ModelTest : public SimTest {
 protected:
  ModelTest() : link(connectedLink(address())), model(link) { velmora_sim::IdentityModel(6).install(command()); }

  std::shared_ptr<velmora::internal::XService> link;
  Model_T<6> model;
  std::error_code ec;
  const std::array<double, 6> joints{1, 2, 3, 4, 5, 6};
};

TEST_F(ModelTest, RequestsCarryTheControllersMemberNames) {
  model.calcFk(joints, ec);
  EXPECT_THAT(lastPayload("sys.calc.fk"), JsonIs("[1,2,3,4,5,6]"));
  model.calcFk(joints, sampleToolset(), ec);
  EXPECT_THAT(lastPayload("sys.calc.fk"), JsonIs(R"({"jnt_pos":[1,2,3,4,5,6],"tool_set":{
                           "end":{"trans":[0.1,0.2,0.3],"rot":[0.4,0.5,0.6]},
                           "ref":{"trans":[1,2,3],"rot":[4,5,6]},
                           "load":{"mass":1.5,"cog":[7,8,9],"inertia":[10,11,12]}}})"));

  CartesianPosition pose{0.5, 0.6, 0.7, 0.1, 0.2, 0.3};
  pose.elbow = 0.25;
  struct Case {
    std::vector<int> conf;
    const char* ik;     // configuration sent by calcIk: cut to 6, then padded to 8
    const char* allIk;  // by calcAllIkSolutions: only cut or padded to 8
  };
  const Case cases[] = {
      {{1, 2, 3}, "[1,2,3,0,0,0,0,0]", "[1,2,3,0,0,0,0,0]"},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "[1,2,3,4,5,6,0,0]", "[1,2,3,4,5,6,7,8]"},
      {{}, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.conf.size());
    pose.confData = c.conf;
    model.calcIk(pose, ec);
    const Json::Value ik = lastPayload("sys.calc.ik");
    EXPECT_THAT(ik["redundant"], JsonIs("[0.25]"));
    EXPECT_FALSE(ik.isMember("elb"));
    EXPECT_THAT(ik["conf"], JsonIs(c.ik ? c.ik : "null"));
    std::vector<std::vector<int>> confs;
    model.calcAllIkSolutions(pose, confs, ec);
    const Json::Value all = lastPayload("utils.calc.all.ik");
    EXPECT_EQ(all["elb"], 0.25);
    EXPECT_FALSE(all.isMember("redundant"));
    EXPECT_THAT(all["conf"], JsonIs(c.allIk ? c.allIk : "null"));
  }
  model.calcIk(pose, sampleToolset(), ec);
  EXPECT_EQ(lastPayload("sys.calc.ik")["tool_set"]["load"]["mass"], 1.5);
}

TEST_F(ModelTest, ArgumentsThatCannotTravelAreRefusedUnsent) {
  const CartesianPosition matrixOnly{1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1};
  CartesianPosition nanPose{1, 2, 3, 0, 0, 0};
  nanPose.elbow = std::nan("");
  Toolset infiniteTool;
  infiniteTool.load.mass = std::numeric_limits<double>::infinity();
  std::array<double, 6> nanJoints = joints;
  nanJoints[2] = std::nan("");
  std::vector<std::vector<int>> confs{{9}};
  CartesianPosition wide{1, 2, 3, 0, 0, 0};
  wide.external.assign(7, 0.5);

  struct Case {
    const char* what;
    std::function<bool()> call;  // true when the result is the zero one
    int code;
  };
  const Case cases[] = {
      {"ik matrix pose", [&] { return model.calcIk(matrixOnly, ec) == std::array<double, 6>{}; }, 260},
      {"all-ik matrix pose", [&] { return model.calcAllIkSolutions(matrixOnly, confs, ec).empty(); }, 260},
      {"fk NaN joint", [&] { return model.calcFk(nanJoints, ec).trans[0] == 0; }, 259},
      {"fk infinite tool", [&] { return model.calcFk(joints, infiniteTool, ec).trans[0] == 0; }, 259},
      {"ik NaN elbow", [&] { return model.calcIk(nanPose, ec) == std::array<double, 6>{}; }, 259},
      {"all-ik NaN elbow", [&] { return model.calcAllIkSolutions(nanPose, confs, ec).empty(); }, 259},
      {"ik 7 external axes", [&] { return model.calcIk(wide, ec) == std::array<double, 6>{}; }, 259},
      {"all-ik 7 external axes", [&] { return model.calcAllIkSolutions(wide, confs, ec).empty(); }, 259},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.call()) << c.what;
    EXPECT_EQ(ec.value(), c.code) << c.what;
  }
  EXPECT_EQ(confs, std::vector<std::vector<int>>{{9}});
  EXPECT_EQ(command().log().size(), 0u);
}

// Every reply kind the controller might send, under each key: a code each, and the zero result
// with any failure. Runs under ASan/UBSan in CI, where a throwing read would terminate.
TEST_F(ModelTest, EveryReplyKindGivesItsCode) {
  struct Case {
    const char* key;
    const char* reply;
    int code;
  };
  const Case cases[] = {
      {"sys.calc.fk", "5", 5},
      {"sys.calc.fk", "-1", -1},
      {"sys.calc.fk", "7.0", 7},
      {"sys.calc.fk", "0", 257},
      {"sys.calc.fk", "1.5", 257},
      {"sys.calc.fk", "4294967296", 257},
      {"sys.calc.fk", R"("text")", 257},
      {"sys.calc.fk", "true", 257},
      {"sys.calc.fk", "null", 257},
      {"sys.calc.fk", "[]", 257},
      {"sys.calc.fk", "{}", 257},
      {"sys.calc.fk", R"({"error":3})", 257},
      {"sys.calc.fk", R"({"data":"x"})", 257},
      {"sys.calc.fk", R"({"data":5})", 257},
      {"sys.calc.fk", R"({"data":[1,2,3]})", 257},
      {"sys.calc.fk", R"({"data":{"trans":"x"}})", 257},
      {"sys.calc.fk", R"({"data":{"trans":[1,2,3],"rot":[1,2,"x"]}})", 257},
      {"sys.calc.fk", R"({"data":{"conf":["a"]}})", 257},
      {"sys.calc.fk", R"({"data":{"conf":[1e300]}})", 257},
      {"sys.calc.fk", R"({"data":{"elb":"x"}})", 257},
      {"sys.calc.fk", R"({"data":{"external":{}}})", 257},
      {"sys.calc.fk", R"({"data":{}})", 0},
      {"sys.calc.ik", R"({"error":5})", -32},
      {"sys.calc.ik", R"({"error":"x"})", -32},
      {"sys.calc.ik", R"({"error":0,"data":[1,2,3,4,5,6]})", -32},
      {"sys.calc.ik", "-50101", -50101},
      {"sys.calc.ik", "7.0", 7},
      {"sys.calc.ik", "0", 261},
      {"sys.calc.ik", "1.5", 261},
      {"sys.calc.ik", "4294967296", 261},
      {"sys.calc.ik", R"("text")", 261},
      {"sys.calc.ik", "true", 261},
      {"sys.calc.ik", "null", 261},
      {"sys.calc.ik", "[]", 261},
      {"sys.calc.ik", "{}", 261},
      {"sys.calc.ik", R"({"data":[1,2]})", 261},
      {"sys.calc.ik", R"({"data":"x"})", 261},
      {"sys.calc.ik", R"({"data":{}})", 261},
      {"sys.calc.ik", R"({"data":[1,2,3,4,5,"6"]})", 261},
      {"sys.calc.ik", R"({"data":[1,2,3,4,5,6,7]})", 0},
      {"utils.calc.all.ik", "5", 5},
      {"utils.calc.all.ik", "0", 0},
      {"utils.calc.all.ik", "1.5", 257},
      {"utils.calc.all.ik", "4294967296", 257},
      {"utils.calc.all.ik", R"("text")", 257},
      {"utils.calc.all.ik", "true", 257},
      {"utils.calc.all.ik", "null", 257},
      {"utils.calc.all.ik", "[]", 257},
      {"utils.calc.all.ik", "{}", 257},
      {"utils.calc.all.ik", R"({"data":5})", 257},
      {"utils.calc.all.ik", R"({"data":{"result":5}})", 257},
      {"utils.calc.all.ik", R"({"data":{"result":{}}})", 257},
      {"utils.calc.all.ik", R"({"data":{"result":[]}})", 0},
      {"utils.calc.all.ik", R"({"data":{"result":[5]}})", 261},
      {"utils.calc.all.ik", R"({"data":{"result":[null]}})", 261},
      {"utils.calc.all.ik", R"({"data":{"result":[{"jnt":["a"],"conf":[1]}]}})", 261},
      {"utils.calc.all.ik", R"({"data":{"result":[{"jnt":[1],"conf":["a"]}]}})", 261},
      {"utils.calc.all.ik", R"({"data":{"result":[{"jnt":[1],"conf":[1.5]}]}})", 261},
      {"utils.calc.all.ik", R"({"data":{"result":[{"jnt":[1]}]}})", 261},
  };
  const CartesianPosition pose{1, 2, 3, 0, 0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " <- " + c.reply);
    command().script(c.key, Behaviour::reply(parseJson(c.reply)).times(1));
    const std::string key = c.key;
    if (key == "sys.calc.fk") {
      const CartesianPosition got = model.calcFk(joints, ec);
      if (ec) {
        EXPECT_EQ(got.trans, (std::array<double, 3>{}));
      }
    } else if (key == "sys.calc.ik") {
      const auto got = model.calcIk(pose, ec);
      if (ec) {
        EXPECT_EQ(got, (std::array<double, 6>{}));
      }
    } else {
      std::vector<std::vector<int>> confs;
      EXPECT_THAT(model.calcAllIkSolutions(pose, confs, ec), ::testing::IsEmpty());
    }
    EXPECT_EQ(ec.value(), c.code);
  }
  // A reply whose form member is not an object never reaches the model's readers.
  for (const char* key : {"sys.calc.fk", "sys.calc.ik", "utils.calc.all.ik"}) {
    command().script(key, Behaviour::wrongKind().times(1));
  }
  std::vector<std::vector<int>> confs;
  model.calcFk(joints, ec);
  EXPECT_EQ(ec.value(), 257);
  model.calcIk(pose, ec);
  EXPECT_EQ(ec.value(), 257);
  model.calcAllIkSolutions(pose, confs, ec);
  EXPECT_EQ(ec.value(), 257);
}

TEST_F(ModelTest, AllSolutionsAndTheirConfigurationsStayPaired) {
  const char* good = R"({"jnt":[1,2,3,4,5,6],"conf":[0,1,0,0,0,0,0,0]})";
  command().script(
      "utils.calc.all.ik",
      Behaviour::reply(parseJson(std::string(R"({"data":{"result":[)") + good + "," + good + "]}}")).times(1));
  command().script("utils.calc.all.ik", Behaviour::reply(parseJson(std::string(R"({"data":{"result":[)") + good + "," +
                                                                   good + R"(,{"jnt":[1,2,3,4,5,6]}]}})"))
                                            .times(1));
  const CartesianPosition pose{1, 2, 3, 0, 0, 0};
  std::vector<std::vector<int>> confs;
  EXPECT_EQ(model.calcAllIkSolutions(pose, confs, ec).size(), 2u);
  EXPECT_EQ(confs.size(), 2u);
  // The third solution has no configuration: neither list keeps the two before it.
  EXPECT_THAT(model.calcAllIkSolutions(pose, confs, ec), ::testing::IsEmpty());
  EXPECT_EQ(ec.value(), 261);
  EXPECT_THAT(confs, ::testing::IsEmpty());
  // No solution at all: the configurations of an earlier call do not stay behind.
  confs = {{1}, {2}};
  command().script("utils.calc.all.ik", Behaviour::reply(0).times(1));
  EXPECT_THAT(model.calcAllIkSolutions(pose, confs, ec), ::testing::IsEmpty());
  EXPECT_FALSE(ec);
  EXPECT_THAT(confs, ::testing::IsEmpty());
}

TEST_F(ModelTest, ASilentControllerGives263) {
  Model_T<6> model(connectedLink(address(), withRequestWait(100ms)));
  command().script("sys.calc.ik", Behaviour::silent().times(1));
  EXPECT_EQ(model.calcIk(CartesianPosition{1, 0, 0, 0, 0, 0}, ec), (std::array<double, 6>{}));
  EXPECT_EQ(ec.value(), 263);
}

TEST_F(ModelTest, AStoppedLinkGives256AndTheZeroPose) {
  link->stop();
  const CartesianPosition pose = model.calcFk(joints, ec);
  EXPECT_EQ(ec.value(), 256);
  EXPECT_EQ(pose.pos, (std::array<double, 16>{}));
  EXPECT_EQ(pose.elbow, 0.0);
  EXPECT_EQ(model.calcIk(CartesianPosition{1, 0, 0, 0, 0, 0}, ec), (std::array<double, 6>{}));
  EXPECT_EQ(ec.value(), 256);
}

TEST_F(ModelTest, CopiesWorkAloneAndAMovedFromModelGives255) {
  Model_T<6> copy(model);
  Model_T<6> moved(std::move(model));
  EXPECT_FALSE(copy.calcFk(joints, ec).trans.empty());
  EXPECT_FALSE(ec);
  moved.calcFk(joints, ec);
  EXPECT_FALSE(ec);
  const std::size_t sent = command().log().size();

  Model_T<6> copyOfEmpty(model);  // NOLINT(bugprone-use-after-move): the empty state is the point
  Model_T<6> assigned(link);
  assigned = copyOfEmpty;
  std::vector<std::vector<int>> confs;
  const CartesianPosition pose{1, 2, 3, 0, 0, 0};
  for (Model_T<6>* empty : {&model, &copyOfEmpty, &assigned}) {
    EXPECT_EQ(empty->calcFk(joints, ec).trans, (std::array<double, 3>{}));
    EXPECT_EQ(ec.value(), 255);
    empty->calcFk(joints, sampleToolset(), ec);
    EXPECT_EQ(ec.value(), 255);
    EXPECT_EQ(empty->calcIk(pose, ec), (std::array<double, 6>{}));
    EXPECT_EQ(ec.value(), 255);
    empty->calcIk(pose, sampleToolset(), ec);
    EXPECT_EQ(ec.value(), 255);
    EXPECT_THAT(empty->calcAllIkSolutions(pose, confs, ec), ::testing::IsEmpty());
    EXPECT_EQ(ec.value(), 255);
  }
  EXPECT_EQ(command().log().size(), sent);
  model = copy;  // an empty object takes a state again
  model.calcFk(joints, ec);
  EXPECT_FALSE(ec);
}

// A model built without a link has nothing to ask: it answers like one moved from, no crash.
TEST_F(ModelTest, AModelWithoutALinkGives255) {
  Model_T<6> unlinked(nullptr);
  std::vector<std::vector<int>> confs;
  const CartesianPosition pose{1, 2, 3, 0, 0, 0};
  EXPECT_EQ(unlinked.calcFk(joints, ec).trans, (std::array<double, 3>{}));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_EQ(unlinked.calcIk(pose, sampleToolset(), ec), (std::array<double, 6>{}));
  EXPECT_EQ(ec.value(), 255);
  EXPECT_THAT(unlinked.calcAllIkSolutions(pose, confs, ec), ::testing::IsEmpty());
  EXPECT_EQ(ec.value(), 255);
}

// The robot's link handle is shared: the model keeps the link running after whatever created
// it is gone, and the link goes when the last model does.
TEST_F(ModelTest, AModelOutlivesWhatCreatedTheLink) {
  struct RobotStandIn {
    std::shared_ptr<velmora::internal::XService> link;
  };
  auto robot = std::make_unique<RobotStandIn>(RobotStandIn{connectedLink(address())});
  ASSERT_TRUE(command().waitForOpenConnections(2, 2s));
  auto outliving = std::make_unique<Model_T<6>>(robot->link);
  std::weak_ptr<velmora::internal::XService> watch = robot->link;
  robot.reset();
  EXPECT_EQ(outliving->calcIk(outliving->calcFk(joints, ec), ec), joints);
  EXPECT_FALSE(ec) << ec.value();
  command().notify(parseJson(R"({"safety.event.collision":{}})"));
  outliving->calcFk(joints, ec);
  EXPECT_FALSE(ec);
  outliving.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(command().waitForOpenConnections(1, 2s));
}

TEST_F(ModelTest, OneLineAfterTheRequestInBothLogs) {
  std::ostringstream robotText;
  auto robotLog =
      std::make_shared<spdlog::logger>("model_test_robot", std::make_shared<spdlog::sinks::ostream_sink_mt>(robotText));
  robotLog->set_pattern("%l %v");
  link->setLogger(robotLog);
  LogCapture global;
  command().script("sys.calc.fk", Behaviour::reply(-1).times(1));
  model.calcFk(joints, ec);
  model.calcFk(joints, ec);
  const std::string failed = "calcFk [1, 2, 3, 4, 5, 6] (-1)";
  const std::string done = "calcFk [1, 2, 3, 4, 5, 6], ret:trans:[1, 2, 3], rpy:[4, 5, 6], conf:";
  EXPECT_THAT(robotText.str(), ::testing::HasSubstr("error uid: "));
  EXPECT_THAT(robotText.str(), ::testing::HasSubstr(failed));
  EXPECT_THAT(robotText.str(), ::testing::HasSubstr("info uid: "));
  EXPECT_THAT(robotText.str(), ::testing::HasSubstr(done));
  EXPECT_TRUE(global.contains(failed));
  EXPECT_TRUE(global.contains(done));
}

}  // namespace
