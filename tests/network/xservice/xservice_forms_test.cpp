#include <gmock/gmock.h>

#include <velmora/error.h>

#include <functional>
#include <thread>

#include "network/tcp/framer.h"
#include "network/xservice/link_fixture.h"
#include "support/json_match.h"
#include "support/link_options.h"
#include "support/process_stats.h"
#include "support/xservice_probe.h"

using velmora::internal::DelimiterFramer;
using velmora::internal::makeErrorCode;
using velmora::internal::nextRequestId;
using velmora::internal::XService;
using velmora::internal::XServiceProbe;
using velmora_sim::Behaviour;
using velmora_sim::Form;
using namespace std::chrono_literals;

namespace {

using XServiceFormsTest = LinkTest;

std::string withId(std::string text, std::uint64_t id) {
  const auto at = text.find("ID");
  return text.replace(at, 2, std::to_string(id));
}

}  // namespace

TEST_F(XServiceFormsTest, EachFormGoesOutAsCompactTextWithItsOwnIdAndReadsItsReply) {
  const std::uint64_t first = nextRequestId.load();
  if (::testing::UnitTest::GetInstance()->test_to_run_count() == 1) {
    EXPECT_EQ(first, 1u) << "the first id of a process";
  }
  command().script(Form::command, "k", Behaviour::reply(5).times(1));
  command().script(Form::get, "a", Behaviour::reply("x").times(1));
  command().script(Form::set, "k", Behaviour::reply(-4).times(1));

  std::error_code ec;
  Json::Value result;
  link.sendCommand("k", Json::Value(), result, ec, 2s);
  EXPECT_FALSE(ec);
  EXPECT_EQ(result, Json::Value(5));

  Json::Value in = parseJson(R"({"a":[1.5,"é\r"],"b":true})");
  link.getValue("a", in, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(in, Json::Value("x"));

  Json::Value out;
  link.getValues({"b", "a"}, {Json::Value(2), Json::Value(1)}, out, ec);
  EXPECT_FALSE(ec);
  EXPECT_EQ(out, parseJson(R"({"a":null,"b":null})"));

  link.setValue("k", 1, ec);
  EXPECT_EQ(ec, makeErrorCode(-4)) << "the controller's code comes back as it is";
  EXPECT_EQ(link.setValueRaw("k", 1, ec), 0);
  EXPECT_FALSE(ec);

  link.watch("t", true, ec);
  EXPECT_FALSE(ec);
  link.sendCommandWithId(parseJson(R"({"move.append":{"x":1}})"), Json::Value("cmd-7"), ec);
  EXPECT_FALSE(ec);

  Json::Value request = parseJson(R"({"c":{"k":null},"id":"mine"})");
  Json::Value reply;
  link.request(request, reply, ec, 2s);
  EXPECT_FALSE(ec);
  EXPECT_EQ(reply["id"].asUInt64(), request["id"].asUInt64()) << "the link's id replaces the caller's";

  ASSERT_TRUE(command().log().waitForSize(9, 2s));
  // One record per key: a request of two keys shows up twice.
  std::vector<std::string> raw;
  for (const auto& record : command().log().all()) {
    if (raw.empty() || raw.back() != record.raw) raw.push_back(record.raw);
  }
  const std::vector<std::string> expected = {
      R"({"c":{"k":null},"id":ID})",
      R"({"g":{"a":{"a":[1.5,"\u00e9\r"],"b":true}},"id":ID})",
      R"({"g":{"a":1,"b":2},"id":ID})",
      R"({"id":ID,"s":{"k":1}})",
      R"({"id":ID,"s":{"k":1}})",
      R"({"id":ID,"w":{"t":true}})",
      R"({"c":{"move.append":{"x":1}},"id":"cmd-7"})",
      R"({"c":{"k":null},"id":ID})",
  };
  ASSERT_EQ(raw.size(), expected.size());
  std::uint64_t id = first;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const bool stamped = expected[i].find("ID") != std::string::npos;
    EXPECT_EQ(raw[i], (stamped ? withId(expected[i], id++) : expected[i]) + "\r") << i;
    EXPECT_EQ(raw[i].find('\n'), std::string::npos) << i;
  }
  EXPECT_EQ(link.pendingRequests(), 0u);
}

TEST_F(XServiceFormsTest, IdsComeFromOneCounterSharedByEveryLink) {
  XService second;
  second.connect(address(), 6666);
  std::error_code ec;
  second.start(ec);
  ASSERT_FALSE(ec);
  std::vector<std::uint64_t> ids;
  command().observe([&](const velmora_sim::Request& r) { ids.push_back(r.id.asUInt64()); });
  Json::Value result;
  for (int i = 0; i < 6; ++i) (i % 2 ? second : link).sendCommand("k", Json::Value(), result, ec, 2s);
  command().observe(nullptr);
  ASSERT_EQ(ids.size(), 6u);
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_EQ(ids[i], ids[i - 1] + 1);
}

TEST_F(XServiceFormsTest, RepliesWithoutTheMemberOrOfTheWrongKindGive257) {
  struct Case {
    const char* name;
    Form form;
    Json::Value reply;  // the whole message; its "id" is filled in
  };
  const std::vector<Case> cases = {
      {"command: form member missing", Form::command, parseJson(R"({"x":{"k":1}})")},
      {"command: form member is a number", Form::command, parseJson(R"({"c":5})")},
      {"command: key missing", Form::command, parseJson(R"({"c":{"other":1}})")},
      {"get: form member is an array", Form::get, parseJson(R"({"g":[1]})")},
      {"get: key missing", Form::get, parseJson(R"({"g":{}})")},
      {"set: key missing", Form::set, parseJson(R"({"s":{}})")},
      {"set: code is text", Form::set, parseJson(R"({"s":{"k":"x"}})")},
      {"set: code is not integral", Form::set, parseJson(R"({"s":{"k":1.5}})")},
      {"set: code beyond int", Form::set, parseJson(R"({"s":{"k":4294967296}})")},
      {"set: form member is text", Form::set, parseJson(R"({"s":"wrong kind"})")},
  };
  for (const auto& c : cases) {
    command().script(c.form, "k", Behaviour::message(c.reply).times(c.form == Form::set ? 2 : 1));
    std::error_code ec;
    switch (c.form) {
      case Form::command: {
        Json::Value result("untouched");
        link.sendCommand("k", Json::Value(), result, ec, 2s);
        EXPECT_EQ(result, Json::Value("untouched")) << c.name;
        break;
      }
      case Form::get: {
        Json::Value value("parameter");
        link.getValue("k", value, ec);
        EXPECT_EQ(value, Json::Value("parameter")) << c.name << ": the parameter stays";
        break;
      }
      default: {
        link.setValue("k", 0, ec);
        EXPECT_EQ(ec, makeErrorCode(257)) << c.name;
        EXPECT_EQ(link.setValueRaw("k", 0, ec), 0) << c.name;
        break;
      }
    }
    EXPECT_EQ(ec, makeErrorCode(257)) << c.name;
  }
  command().script(Form::set, "k", Behaviour::reply(3).times(1));
  std::error_code ec;
  EXPECT_EQ(link.setValueRaw("k", 0, ec), 3) << "a positive code is the caller's to judge";
  EXPECT_FALSE(ec);
}

TEST_F(XServiceFormsTest, MismatchedListsGive259AndSendNothing) {
  std::error_code ec;
  Json::Value out("untouched");
  link.getValues({"a", "b"}, {Json::Value(1)}, out, ec);
  EXPECT_EQ(ec, makeErrorCode(259));
  EXPECT_EQ(out, Json::Value("untouched"));
  Json::Value notAnObject(Json::arrayValue), reply;
  link.request(notAnObject, reply, ec, 1s);
  EXPECT_EQ(ec, makeErrorCode(259));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(command().log().size(), 0u);
}

TEST_F(XServiceFormsTest, NoReplyInTimeGives263AndTheLateReplyIsDropped) {
  velmora::internal::XService link(withRequestWait(150ms));
  start(link, 2);
  command().script("slow", Behaviour::reply(1).after(400ms).times(3));
  const std::vector<std::pair<const char*, std::function<std::error_code()>>> forms = {
      {"command",
       [&] {
         std::error_code ec;
         Json::Value result;
         link.sendCommand("slow", Json::Value(), result, ec, 150ms);
         return ec;
       }},
      {"get",
       [&] {
         std::error_code ec;
         Json::Value value;
         link.getValue("slow", value, ec);
         return ec;
       }},
      {"set",
       [&] {
         std::error_code ec;
         link.setValue("slow", 1, ec);
         return ec;
       }},
  };
  for (const auto& [name, call] : forms) {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(call(), makeErrorCode(263)) << name;
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_GE(waited, 140ms) << name;
    EXPECT_LT(waited, 350ms) << name;
    EXPECT_EQ(link.pendingRequests(), 0u) << name << ": nothing kept for the late reply";
  }
  // The late replies arrive and satisfy nobody; the link goes on answering.
  std::this_thread::sleep_for(450ms);
  EXPECT_EQ(link.pendingRequests(), 0u);
  std::error_code ec;
  Json::Value result;
  link.sendCommand("k", Json::Value(), result, ec, 2s);
  EXPECT_FALSE(ec);
  EXPECT_EQ(result, Json::Value(0));

  // A zero or negative timeout does not wait at all.
  command().script("never", Behaviour::silent().times(1));
  const auto began = std::chrono::steady_clock::now();
  link.sendCommand("never", Json::Value(), result, ec, -1s);
  EXPECT_EQ(ec, makeErrorCode(263));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 50ms);
  ASSERT_TRUE(command().log().waitFor("never", 2s));
}

TEST_F(XServiceFormsTest, ALinkDownGives256AtOnceAndADropWakesTheWaiter) {
  command().script("hold", Behaviour::silent().times(1));
  std::thread dropper([&] {
    ASSERT_TRUE(command().log().waitFor("hold", 2s));
    std::this_thread::sleep_for(50ms);
    command().dropConnections();
  });
  std::error_code ec;
  Json::Value result;
  const auto began = std::chrono::steady_clock::now();
  link.sendCommand("hold", Json::Value(), result, ec, 10s);
  const auto waited = std::chrono::steady_clock::now() - began;
  dropper.join();
  EXPECT_EQ(ec, makeErrorCode(256)) << "dropped mid-wait";
  EXPECT_GE(waited, 50ms);
  EXPECT_LT(waited, 1s);

  link.stop();
  XService never;
  const std::vector<std::pair<const char*, XService*>> links = {{"stopped", &link}, {"never started", &never}};
  for (const auto& [name, target] : links) {
    const auto t0 = std::chrono::steady_clock::now();
    target->sendCommand("k", Json::Value(), result, ec, 10s);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    Json::Value value;
    target->getValue("k", value, ec);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    target->setValue("k", 1, ec);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    EXPECT_EQ(target->setValueRaw("k", 1, ec), 0) << name;
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    target->watch("t", true, ec);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    target->sendCommandWithId(Json::Value(), Json::Value("x"), ec);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    target->sendCommandAsync(
        "k", Json::Value(), [](const Json::Value&) { ADD_FAILURE() << "called"; }, ec);
    EXPECT_EQ(ec, makeErrorCode(256)) << name;
    EXPECT_EQ(target->pendingReplyCallbacks(), 0u) << name << ": nothing kept for an unsent request";
    EXPECT_FALSE(target->sendJson(Json::Value(Json::objectValue))) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms) << name;
    EXPECT_EQ(target->pendingRequests(), 0u) << name;
  }
}

TEST_F(XServiceFormsTest, WatchRepliesAreDroppedSoNothingAccumulates) {
  std::error_code ec;
  for (int i = 0; i < 200; ++i) {
    link.watch("safety.event.collision", i % 2 == 0, ec);
    ASSERT_FALSE(ec);
  }
  ASSERT_TRUE(command().log().waitForSize(200, 2s));
  Json::Value result;
  link.sendCommand("k", Json::Value(), result, ec, 2s);  // answered after every watch reply
  EXPECT_FALSE(ec);
  EXPECT_EQ(link.pendingRequests(), 0u);
  EXPECT_EQ(link.pendingReplyCallbacks(), 0u);
}

TEST_F(XServiceFormsTest, ARequestLongerThanTheControllersLineGives259AndSendsNothing) {
  const std::size_t cap = DelimiterFramer::kDefaultCap;
  const Json::Value over(std::string(cap, 'x'));
  const std::vector<Json::Value> overs{over};
  std::error_code ec;
  Json::Value out;
  struct Case {
    const char* form;
    std::function<std::error_code()> call;
  };
  const Case cases[] = {
      {"request",
       [&] {
         Json::Value request;
         request["c"]["k"] = over;
         link.request(request, out, ec, 30s);
         return ec;
       }},
      {"command", [&] { return link.sendCommand("k", over, out, ec, 30s), ec; }},
      {"command without waiting",
       [&] {
         return link.sendCommandAsync(
                    "k", over, [](const Json::Value&) {}, ec),
                ec;
       }},
      {"command with the caller's id", [&] { return link.sendCommandWithId(over, Json::Value("m"), ec), ec; }},
      {"get", [&] { return link.getValue("k", over, out, ec), ec; }},
      {"get several", [&] { return link.getValues({"k"}, overs, out, ec), ec; }},
      {"set", [&] { return link.setValue("k", over, ec), ec; }},
      {"set, raw", [&] { return link.setValueRaw("k", over, ec), ec; }},
      {"watch", [&] { return link.watch(over.asString(), true, ec), ec; }},
  };
  for (const Case& c : cases) {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(c.call(), makeErrorCode(259)) << c.form;
    // Well inside every wait here (10 s and more), with room for a sanitizer's slowness.
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s) << c.form << ": refused, not waited out";
  }
  EXPECT_FALSE(link.sendJson(over));
  EXPECT_EQ(link.pendingRequests(), 0u);
  EXPECT_EQ(link.pendingReplyCallbacks(), 0u) << "nothing kept for an unsent request";
  EXPECT_EQ(XServiceProbe::client(link).unsentBytes(), 0u);

  // {"c":{"k":"..."},"id":"m"} and its carriage return: 24 bytes around the value. A line of
  // exactly the cap is the controller's to read; one byte more is not.
  Json::Value body;
  body["k"] = std::string(cap - 24 + 1, 'x');
  link.sendCommandWithId(body, Json::Value("m"), ec);
  EXPECT_EQ(ec, makeErrorCode(259));
  body["k"] = std::string(cap - 24, 'x');
  link.sendCommandWithId(body, Json::Value("m"), ec);
  EXPECT_EQ(ec, makeErrorCode(0));
  ASSERT_TRUE(command().log().waitFor("k", 5s)) << "a request of the longest line arrives";
  EXPECT_EQ(command().log().size(), 1u) << "and nothing else did";
}
