#include <gmock/gmock.h>

#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>

#include "fc_fixture.h"
#include "support/link_options.h"

using velmora::ForceControl_T;
using velmora::Frame;
using velmora::FrameType;
using velmora::Load;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using namespace std::chrono_literals;

namespace {

using Six = std::array<double, 6>;
constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Operation {
  const char* name;
  std::function<void(ForceControl_T<6>&, std::error_code&)> call;
  const char* key;
  const char* body;  // JSON of the value under the key
};

// Every operation once with fixed arguments, and what the controller must receive.
std::vector<Operation> everyOperation() {
  const Six six{0.5, 1, 1.5, 2, 2.5, 3};
  const Frame frame({0.1, 0.2, 0.3}, {0.4, 0.5, 0.6});
  return {
      {"fcInit base", [](auto& f, auto& ec) { f.fcInit(FrameType::baseFrame, ec); }, "init", R"({"frame":"base"})"},
      {"fcStart", [](auto& f, auto& ec) { f.fcStart(ec); }, "start", "null"},
      {"fcStop", [](auto& f, auto& ec) { f.fcStop(ec); }, "stop", "null"},
      {"setControlType", [](auto& f, auto& ec) { f.setControlType(1, ec); }, "set",
       R"({"cmd":"control_type","param":{"type":"cart"}})"},
      {"setLoad",
       [](auto& f, auto& ec) {
         f.setLoad(Load(1.5, {0.1, 0.2, 0.3}, {4, 5, 6}), ec);
       },
       "set", R"({"cmd":"load","param":{"load":{"mass":1.5,"cog":[0.1,0.2,0.3],"inertia":[4,5,6]}}})"},
      {"setCartesianStiffness", [=](auto& f, auto& ec) { f.setCartesianStiffness(six, ec); }, "set",
       R"({"cmd":"cart_stiff","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setCartesianNullspaceStiffness", [](auto& f, auto& ec) { f.setCartesianNullspaceStiffness(2.5, ec); }, "set",
       R"({"cmd":"cart_ns_stiff","param":{"value":2.5}})"},
      {"setCartesianDesiredForce", [=](auto& f, auto& ec) { f.setCartesianDesiredForce(six, ec); }, "set",
       R"({"cmd":"cart_force","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointStiffness", [=](auto& f, auto& ec) { f.setJointStiffness(six, ec); }, "set",
       R"({"cmd":"joint_stiff","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointDesiredTorque", [=](auto& f, auto& ec) { f.setJointDesiredTorque(six, ec); }, "set",
       R"({"cmd":"joint_trq","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setForceCondition", [=](auto& f, auto& ec) { f.setForceCondition(six, true, 2.5, ec); }, "set",
       R"({"cmd":"force_cond","param":{"values":[0.5,1,1.5,2,2.5,3],"inside":true,"timeout":2.5}})"},
      {"setTorqueCondition", [=](auto& f, auto& ec) { f.setTorqueCondition(six, false, 600.0, ec); }, "set",
       R"({"cmd":"torque_cond","param":{"values":[0.5,1,1.5,2,2.5,3],"inside":false,"timeout":600}})"},
      {"setPoseBoxCondition",
       [=](auto& f, auto& ec) {
         f.setPoseBoxCondition(frame, {0.5, 1.0, -0.25, 0.25, 0.0, 2.0}, true, 1.0, ec);
       },
       "set",
       R"({"cmd":"posbox_cond","param":{"values":[500,1000,-250,250,0,2000],
           "frame":{"trans":[0.1,0.2,0.3],"rot":[0.4,0.5,0.6]},"inside":true,"timeout":1}})"},
      {"waitCondition", [](auto& f, auto& ec) { f.waitCondition(ec); }, "cond", R"({"cmd":"wait"})"},
      {"fcMonitor", [](auto& f, auto& ec) { f.fcMonitor(false, ec); }, "monitor",
       R"({"cmd":"monitor","param":{"enable":false}})"},
      {"setCartesianMaxVel", [=](auto& f, auto& ec) { f.setCartesianMaxVel(six, ec); }, "monitor",
       R"({"cmd":"cart_vel_max","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setCartesianControlMaxVel",
       [](auto& f, auto& ec) {
         f.setCartesianControlMaxVel({3, 0, 1, 10, 3.5, 0}, ec);
       },
       "monitor", R"({"cmd":"cart_ctrl_max_vel","param":{"values":[3,0,1,10,3.5,0]}})"},
      {"setCartesianControlMaxWrench", [=](auto& f, auto& ec) { f.setCartesianControlMaxWrench(six, ec); }, "monitor",
       R"({"cmd":"cart_ctrl_max_wrench","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointMaxVel", [=](auto& f, auto& ec) { f.setJointMaxVel(six, ec); }, "monitor",
       R"({"cmd":"joint_vel_max","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointMaxMomentum", [=](auto& f, auto& ec) { f.setJointMaxMomentum(six, ec); }, "monitor",
       R"({"cmd":"joint_momentum_max","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointMaxEnergy", [=](auto& f, auto& ec) { f.setJointMaxEnergy(six, ec); }, "monitor",
       R"({"cmd":"joint_energy_max","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointControlMaxVel", [=](auto& f, auto& ec) { f.setJointControlMaxVel(six, ec); }, "monitor",
       R"({"cmd":"jnt_ctrl_max_vel","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setJointControlMaxTorque", [=](auto& f, auto& ec) { f.setJointControlMaxTorque(six, ec); }, "monitor",
       R"({"cmd":"jnt_ctrl_max_torque","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setFcGain", [=](auto& f, auto& ec) { f.setFcGain(six, ec); }, "monitor",
       R"({"cmd":"gain_value","param":{"values":[0.5,1,1.5,2,2.5,3]}})"},
      {"setFriction",
       [](auto& f, auto& ec) {
         f.setFriction({0, 0.1, 0.2, 0.3, 0.4, 1}, ec);
       },
       "monitor", R"({"cmd":"friction","param":{"values":[0,0.1,0.2,0.3,0.4,1]}})"},
      {"setSineOverlay", [](auto& f, auto& ec) { f.setSineOverlay(2, 1e6, 1e6, kPi, 10, ec); }, "set",
       R"({"cmd":"sine_overlay","param":{"values":[2,1e6,1e6,3.141592653589793,10]}})"},
      {"setLissajousOverlay", [](auto& f, auto& ec) { f.setLissajousOverlay(1, 20, 5, 0.5, 0.25, kPi, ec); }, "set",
       R"({"cmd":"lissajous_overlay","param":{"values":[1,20,5,0.5,0.25,3.141592653589793]}})"},
      {"startOverlay", [](auto& f, auto& ec) { f.startOverlay(ec); }, "overlay", R"({"cmd":"start"})"},
      {"stopOverlay", [](auto& f, auto& ec) { f.stopOverlay(ec); }, "overlay", R"({"cmd":"stop"})"},
      {"pauseOverlay", [](auto& f, auto& ec) { f.pauseOverlay(ec); }, "overlay", R"({"cmd":"pause"})"},
      {"restartOverlay", [](auto& f, auto& ec) { f.restartOverlay(ec); }, "overlay", R"({"cmd":"restart"})"},
      {"getEndTorque",
       [](auto& f, auto& ec) {
         std::array<double, 6> joint{}, external{};
         std::array<double, 3> torque{}, force{};
         f.getEndTorque(FrameType::world, joint, external, torque, force, ec);
       },
       "end_torque.ref_world", "null"},
  };
}

// Each operation against the controller model, which answers -1 for any request whose shape
// differs from the wire description; the recorded key and body are compared as JSON.
TEST_F(ForceControlTest, EveryOperationSendsItsKeyAndBody) {
  ASSERT_EQ(command().log().count("eci.fc.set_callback"), 1u);
  EXPECT_THAT(lastPayload("eci.fc.set_callback"), JsonIs("0"));
  for (const Operation& op : everyOperation()) {
    SCOPED_TRACE(op.name);
    const std::size_t before = command().log().size();
    op.call(fc, ec);
    EXPECT_EQ(ec.value(), 0);
    ASSERT_EQ(command().log().size(), before + 1);
    const velmora_sim::Request request = command().log().all().back();
    EXPECT_EQ(request.key, std::string("eci.fc.") + op.key);
    EXPECT_EQ(request.form, std::string(op.key).rfind("end_torque", 0) == 0 ? Form::get : Form::command);
    EXPECT_THAT(request.payload, JsonIs(op.body));
  }
  EXPECT_EQ(controller.frame(), "base");
  EXPECT_FALSE(controller.running());
  EXPECT_EQ(controller.overlay(), "restart");
  EXPECT_THAT(controller.setting("posbox_cond")["values"], JsonIs("[500,1000,-250,250,0,2000]"));

  // Frame names and the control type's other value.
  const std::pair<FrameType, const char*> frames[] = {{FrameType::world, "world"},
                                                      {FrameType::flange, "flange"},
                                                      {FrameType::tool, "tool"},
                                                      {FrameType::wobj, "wobj"},
                                                      {FrameType::path, "path"},
                                                      {FrameType::rail, "world"},
                                                      {static_cast<FrameType>(42), "world"}};
  for (const auto& [type, name] : frames) {
    fc.fcInit(type, ec);
    EXPECT_FALSE(ec);
    EXPECT_EQ(controller.frame(), name);
  }
  fc.setControlType(0, ec);
  EXPECT_THAT(controller.setting("control_type"), JsonIs(R"({"type":"joint"})"));
}

TEST_F(ForceControlTest, EndTorqueIsReadFromTheFramesKey) {
  std::array<double, 6> joint{}, external{};
  std::array<double, 3> torque{}, force{};
  const std::pair<FrameType, double> frames[] = {
      {FrameType::world, 0}, {FrameType::flange, 100}, {FrameType::tool, 200}};
  for (const auto& [type, base] : frames) {
    fc.getEndTorque(type, joint, external, torque, force, ec);
    ASSERT_FALSE(ec) << ec.value();
    EXPECT_EQ(joint, (std::array<double, 6>{base, base + 1, base + 2, base + 3, base + 4, base + 5}));
    EXPECT_EQ(external[5], base + 15);
    EXPECT_EQ(force, (std::array<double, 3>{base + 20, base + 21, base + 22}));
    EXPECT_EQ(torque, (std::array<double, 3>{base + 30, base + 31, base + 32}));
  }
  EXPECT_EQ(command().log().count("eci.fc.end_torque.ref_tcp"), 1u);
}

// Refused arguments give their code and send nothing; the values at each end are sent.
TEST_F(ForceControlTest, RangesRefuseWhatIsOutsideAndNaN) {
  using F = ForceControl_T<6>;
  const Frame frame({1, 2, 3}, {0, 0, 0});
  Frame matrixOnly;
  matrixOnly.pos[0] = 1;
  constexpr double huge = std::numeric_limits<double>::max();
  struct Case {
    const char* what;
    std::function<void(F&, std::error_code&)> call;
    int code;
  };
  const Case cases[] = {
      {"type 0", [](F& f, auto& ec) { f.setControlType(0, ec); }, 0},
      {"type 2", [](F& f, auto& ec) { f.setControlType(2, ec); }, 258},
      {"type -1", [](F& f, auto& ec) { f.setControlType(-1, ec); }, 258},
      {"timeout 1", [](F& f, auto& ec) { f.setForceCondition({}, true, 1.0, ec); }, 0},
      {"timeout 600", [](F& f, auto& ec) { f.setTorqueCondition({}, true, 600.0, ec); }, 0},
      {"timeout 0.5", [](F& f, auto& ec) { f.setForceCondition({}, true, 0.5, ec); }, 258},
      {"timeout 600.5", [](F& f, auto& ec) { f.setTorqueCondition({}, true, 600.5, ec); }, 258},
      {"timeout NaN", [](F& f, auto& ec) { f.setForceCondition({}, true, kNaN, ec); }, 258},
      {"timeout inf", [=](F& f, auto& ec) { f.setPoseBoxCondition(frame, {}, true, kInf, ec); }, 258},
      {"range NaN", [](F& f, auto& ec) { f.setForceCondition({kNaN}, true, 1.0, ec); }, 259},
      {"box inf", [=](F& f, auto& ec) { f.setPoseBoxCondition(frame, {kInf}, true, 1.0, ec); }, 259},
      {"matrix frame", [=](F& f, auto& ec) { f.setPoseBoxCondition(matrixOnly, {}, true, 1.0, ec); }, 260},
      {"gain 0 and 60",
       [](F& f, auto& ec) {
         f.setFcGain({0, 60, 0, 60, 0, 60}, ec);
       },
       0},
      {"gain 60.5",
       [](F& f, auto& ec) {
         f.setFcGain({0, 0, 60.5, 0, 0, 0}, ec);
       },
       258},
      {"gain -0.1",
       [](F& f, auto& ec) {
         f.setFcGain({-0.1, 0, 0, 0, 0, 0}, ec);
       },
       258},
      {"gain NaN",
       [](F& f, auto& ec) {
         f.setFcGain({0, 0, 0, 0, 0, kNaN}, ec);
       },
       258},
      {"joint vel 1e300",
       [](F& f, auto& ec) {
         f.setJointMaxVel({1e300, huge}, ec);
       },
       0},
      {"joint vel inf",
       [](F& f, auto& ec) {
         f.setJointMaxVel({0, kInf}, ec);
       },
       258},
      {"momentum -1", [](F& f, auto& ec) { f.setJointMaxMomentum({-1}, ec); }, 258},
      {"energy NaN", [](F& f, auto& ec) { f.setJointMaxEnergy({kNaN}, ec); }, 258},
      {"cart vel inf", [](F& f, auto& ec) { f.setCartesianMaxVel({kInf}, ec); }, 258},
      {"ctrl vel 3.5 at 3",
       [](F& f, auto& ec) {
         f.setCartesianControlMaxVel({3, 3, 3, 3.5, 10, 10}, ec);
       },
       0},
      {"ctrl vel 3.5 at 0", [](F& f, auto& ec) { f.setCartesianControlMaxVel({3.5}, ec); }, 258},
      {"ctrl vel 10.5 at 5",
       [](F& f, auto& ec) {
         f.setCartesianControlMaxVel({0, 0, 0, 0, 0, 10.5}, ec);
       },
       258},
      {"ctrl vel NaN at 4",
       [](F& f, auto& ec) {
         f.setCartesianControlMaxVel({0, 0, 0, 0, kNaN}, ec);
       },
       258},
      {"wrench 1000",
       [](F& f, auto& ec) {
         f.setCartesianControlMaxWrench({1000, 1000, 1000, 1000, 1000, 1000}, ec);
       },
       0},
      {"wrench 1000.5",
       [](F& f, auto& ec) {
         f.setCartesianControlMaxWrench({0, 0, 0, 0, 1000.5}, ec);
       },
       258},
      {"joint ctrl vel 10",
       [](F& f, auto& ec) {
         f.setJointControlMaxVel({10, 10}, ec);
       },
       0},
      {"joint ctrl vel 10.01", [](F& f, auto& ec) { f.setJointControlMaxVel({10.01}, ec); }, 258},
      {"joint torque 1000.5", [](F& f, auto& ec) { f.setJointControlMaxTorque({1000.5}, ec); }, 258},
      {"friction 1",
       [](F& f, auto& ec) {
         f.setFriction({1, 1, 1, 1, 1, 1}, ec);
       },
       0},
      {"friction 1.1", [](F& f, auto& ec) { f.setFriction({1.1}, ec); }, 258},
      {"sine line -1", [](F& f, auto& ec) { f.setSineOverlay(-1, 0, 0, 0, 0, ec); }, 258},
      {"sine line 3", [](F& f, auto& ec) { f.setSineOverlay(3, 0, 0, 0, 0, ec); }, 258},
      {"sine phase 3.2", [](F& f, auto& ec) { f.setSineOverlay(0, 0, 0, 3.2, 0, ec); }, 258},
      {"sine phase NaN", [](F& f, auto& ec) { f.setSineOverlay(0, 0, 0, kNaN, 0, ec); }, 258},
      {"sine bias 10.5", [](F& f, auto& ec) { f.setSineOverlay(0, 0, 0, 0, 10.5, ec); }, 258},
      {"sine amplitude NaN", [](F& f, auto& ec) { f.setSineOverlay(0, kNaN, 0, 0, 0, ec); }, 259},
      {"sine frequency inf", [](F& f, auto& ec) { f.setSineOverlay(0, 0, kInf, 0, 0, ec); }, 259},
      {"lissajous ends", [](F& f, auto& ec) { f.setLissajousOverlay(2, 20, 5, 0, 0, kPi, ec); }, 0},
      {"lissajous plane 3", [](F& f, auto& ec) { f.setLissajousOverlay(3, 0, 0, 0, 0, 0, ec); }, 258},
      {"lissajous amp 20.5", [](F& f, auto& ec) { f.setLissajousOverlay(0, 0, 0, 20.5, 0, 0, ec); }, 258},
      {"lissajous freq NaN", [](F& f, auto& ec) { f.setLissajousOverlay(0, 0, kNaN, 0, 0, 0, ec); }, 258},
      {"lissajous phase 3.2", [](F& f, auto& ec) { f.setLissajousOverlay(0, 0, 0, 0, 0, 3.2, ec); }, 258},
      {"stiffness NaN", [](F& f, auto& ec) { f.setCartesianStiffness({kNaN}, ec); }, 259},
      {"nullspace inf", [](F& f, auto& ec) { f.setCartesianNullspaceStiffness(-kInf, ec); }, 259},
      {"force NaN",
       [](F& f, auto& ec) {
         f.setCartesianDesiredForce({0, kNaN}, ec);
       },
       259},
      {"joint stiffness inf", [](F& f, auto& ec) { f.setJointStiffness({kInf}, ec); }, 259},
      {"joint torque NaN", [](F& f, auto& ec) { f.setJointDesiredTorque({kNaN}, ec); }, 259},
      {"load NaN", [](F& f, auto& ec) { f.setLoad(Load(kNaN, {}, {}), ec); }, 259},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = command().log().size();
    c.call(fc, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(command().log().size(), before + (c.code == 0 ? 1 : 0));
  }
  // A frame without an end-torque key: nothing sent, the outputs as they were.
  std::array<double, 6> joint{7, 7, 7, 7, 7, 7}, external = joint;
  std::array<double, 3> torque{7, 7, 7}, force = torque;
  const std::size_t before = command().log().size();
  for (FrameType type :
       {FrameType::baseFrame, FrameType::wobj, FrameType::path, FrameType::rail, static_cast<FrameType>(-1)}) {
    fc.getEndTorque(type, joint, external, torque, force, ec);
    EXPECT_EQ(ec.value(), 259);
  }
  EXPECT_EQ(command().log().size(), before);
  EXPECT_EQ(joint[0] + external[5] + torque[0] + force[2], 28);
}

// Whatever comes back under each key: a code, never a throw out of a noexcept operation.
TEST_F(ForceControlTest, EveryReplyKindGivesACode) {
  struct Reply {
    const char* text;  // null: the form member itself of the wrong kind
    int code;
  };
  const Reply replies[] = {
      {"0", 0},
      {"-41400", -41400},
      {"7.0", 7},
      {"1.5", 0},
      {"4294967296", 0},
      {R"("text")", 0},
      {"true", 0},
      {"null", 0},
      {"[1]", 0},
      {"{}", 0},
      {R"({"error":0})", 0},
      {R"({"error":-3})", -3},
      {R"({"error":"x"})", 257},
      {R"({"error":1.5})", 257},
      {R"({"error":null})", 257},
      {R"({"error":[1]})", 257},
      {R"({"error":4294967296})", 257},
      {nullptr, 257},
  };
  // One operation per key; every other operation shares the reply check of its key.
  const std::pair<const char*, std::function<void()>> keys[] = {
      {"eci.fc.init", [&] { fc.fcInit(FrameType::tool, ec); }},
      {"eci.fc.start", [&] { fc.fcStart(ec); }},
      {"eci.fc.stop", [&] { fc.fcStop(ec); }},
      {"eci.fc.set", [&] { fc.setForceCondition({}, true, 3.0, ec); }},
      {"eci.fc.monitor", [&] { fc.setFriction({}, ec); }},
      {"eci.fc.overlay", [&] { fc.pauseOverlay(ec); }},
      {"eci.fc.cond", [&] { fc.waitCondition(ec); }},
  };
  for (const auto& [key, call] : keys) {
    for (const Reply& r : replies) {
      SCOPED_TRACE(std::string(key) + " <- " + (r.text ? r.text : "wrong kind"));
      command().script(key, (r.text ? Behaviour::reply(parseJson(r.text)) : Behaviour::wrongKind()).times(1));
      call();
      EXPECT_EQ(ec.value(), r.code);
    }
  }
  // The construction request drops whatever comes back.
  for (const Reply& r : replies) {
    command().script("eci.fc.set_callback",
                     (r.text ? Behaviour::reply(parseJson(r.text)) : Behaviour::wrongKind()).times(1));
    ForceControl_T<6> another(link);
    another.fcStart(ec);
    EXPECT_FALSE(ec);
  }
}

TEST_F(ForceControlTest, EndTorqueRepliesOfEveryShape) {
  struct Case {
    const char* reply;  // null: the form member itself of the wrong kind
    int code;
    int filled;  // outputs written, in reading order: joint, external, force, torque
  };
  const std::string six = "[1,2,3,4,5,6]";
  const std::string both = R"({"joint":)" + six + R"(,"external":)" + six;
  const std::string strings[] = {
      both + R"(,"cart":{"force":[1,2,3]}})",
      both + R"(,"cart":{"force":[1,2,3],"torque":[1,2,3,4]}})",
      both + R"(,"cart":5})",
      both + R"(,"cart":{"force":[1,2],"torque":[1,2,3]}})",
      R"({"joint":)" + six + R"(,"external":[1,2,3,4,5,"6"]})",
  };
  const Case cases[] = {
      {"5", 5, 0},
      {"0", 261, 0},
      {"null", 261, 0},
      {"{}", 261, 0},
      {R"("x")", 257, 0},
      {"[1,2]", 257, 0},
      {"true", 257, 0},
      {"2.5", 257, 0},
      {R"({"joint":[1,2,3,4,5]})", 261, 0},
      {R"({"joint":[1,2,3,4,5,null]})", 261, 0},
      {R"({"joint":"x"})", 261, 0},
      {strings[0].c_str(), 261, 3},
      {strings[1].c_str(), 0, 4},
      {strings[2].c_str(), 257, 2},
      {strings[3].c_str(), 261, 2},
      {strings[4].c_str(), 261, 1},
      {nullptr, 257, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply ? c.reply : "wrong kind");
    const char* key = "eci.fc.end_torque.ref_flange";
    command().script(Form::get, key,
                     (c.reply ? Behaviour::reply(parseJson(c.reply)) : Behaviour::wrongKind()).times(1));
    std::array<double, 6> joint{}, external{};
    joint.fill(9);
    external.fill(9);
    std::array<double, 3> torque{9, 9, 9}, force{9, 9, 9};
    fc.getEndTorque(FrameType::flange, joint, external, torque, force, ec);
    EXPECT_EQ(ec.value(), c.code);
    EXPECT_EQ(joint[0] == 1, c.filled >= 1);
    EXPECT_EQ(external[5] == 6, c.filled >= 2);
    EXPECT_EQ(force[2] == 3, c.filled >= 3);
    EXPECT_EQ(torque[2] == 3, c.filled >= 4);
  }
}

TEST_F(ForceControlTest, LinkTroubleGivesTheLinksCode) {
  {
    const auto link = connectedLink(address(), withRequestWait(100ms));
    ForceControl_T<6> fc(link);
    command().script("eci.fc.start", Behaviour::silent().times(1));
    fc.fcStart(ec);
    EXPECT_EQ(ec.value(), 263);
  }
  link->stop();
  fc.fcStop(ec);
  EXPECT_EQ(ec.value(), 256);
  std::array<double, 6> joint{};
  std::array<double, 3> torque{}, force{};
  fc.getEndTorque(FrameType::tool, joint, joint, torque, force, ec);
  EXPECT_EQ(ec.value(), 256);
}

// Only an object built from a link announces itself; copies and moves send nothing, and what
// was moved from owns nothing.
TEST_F(ForceControlTest, CopiesAndMovesSendNothingAndAMovedFromObjectGives255) {
  ForceControl_T<6> copy(fc);
  ForceControl_T<6> moved(std::move(copy));
  ForceControl_T<6> assigned(link);
  EXPECT_EQ(controller.callbacks(), 2);
  assigned = fc;
  assigned = std::move(moved);
  ForceControl_T<6> copyOfEmpty(copy);  // NOLINT(bugprone-use-after-move): the point
  ForceControl_T<6> emptyByAssignment(link);
  emptyByAssignment = copyOfEmpty;
  ForceControl_T<6> fromNullLink(nullptr);
  EXPECT_EQ(controller.callbacks(), 3);

  const std::size_t sent = command().log().size();
  for (ForceControl_T<6>* empty : {&copy, &moved, &copyOfEmpty, &emptyByAssignment, &fromNullLink}) {
    for (const Operation& op : everyOperation()) {
      ec = std::error_code();
      op.call(*empty, ec);
      EXPECT_EQ(ec.value(), 255) << op.name;
    }
  }
  EXPECT_EQ(command().log().size(), sent);
  assigned.fcStart(ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(command().log().size(), sent + 1);
}

TEST_F(ForceControlTest, AnUnconnectedLinkStillYieldsAnObject) {
  auto unconnected = std::make_shared<velmora::internal::XService>();
  ForceControl_T<7> seven(unconnected);
  seven.setJointStiffness({1, 2, 3, 4, 5, 6, 7}, ec);
  EXPECT_EQ(ec.value(), 256);
}

template <typename Axes>
class ForceControlAxes : public SimTest {};
using AxisCounts =
    ::testing::Types<std::integral_constant<unsigned short, 5>, std::integral_constant<unsigned short, 7>>;
TYPED_TEST_SUITE(ForceControlAxes, AxisCounts);

// The controller model refuses joint arrays of another length, so a success is the right count.
TYPED_TEST(ForceControlAxes, JointArraysHaveOneValuePerJoint) {
  constexpr unsigned short N = TypeParam::value;
  velmora_sim::ForceControlModel controller(N);
  controller.install(this->command());
  ForceControl_T<N> fc(connectedLink(this->address()));
  std::array<double, N> values{};
  values.fill(0.5);
  std::error_code ec;
  const std::function<void()> calls[] = {[&] { fc.setJointStiffness(values, ec); },
                                         [&] { fc.setJointDesiredTorque(values, ec); },
                                         [&] { fc.setJointMaxVel(values, ec); },
                                         [&] { fc.setJointMaxMomentum(values, ec); },
                                         [&] { fc.setJointMaxEnergy(values, ec); },
                                         [&] { fc.setJointControlMaxVel(values, ec); },
                                         [&] { fc.setJointControlMaxTorque(values, ec); },
                                         [&] { fc.setFcGain(values, ec); },
                                         [&] { fc.setFriction(values, ec); }};
  for (const auto& call : calls) {
    call();
    EXPECT_EQ(ec.value(), 0);
  }
  std::array<double, N> joint{}, external{};
  std::array<double, 3> torque{}, force{};
  fc.getEndTorque(FrameType::world, joint, external, torque, force, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(joint[N - 1], N - 1);
  EXPECT_EQ(external[N - 1], N + 9);
}

}  // namespace
