#include <gmock/gmock.h>

#include <json/reader.h>
#include <json/value.h>

#include <memory>
#include <string>

#include "common/json_read.h"
#include "network/xservice/reply_text.h"

using velmora::internal::buildPlainObject;
using velmora::internal::buildReplyValue;
using velmora::internal::makeMessageReader;
using velmora::internal::replyIdOf;

TEST(ReplyText, OnlyAPlainReplyIsRecognisedFromItsText) {
  struct Case {
    std::string text;
    bool reply;
    std::uint64_t id;
  };
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  const Case cases[] = {
      {R"({"c":{"k":0},"id":5})", true, 5},
      {R"({"id":18446744073709551615,"s":{"k":-4}})", true, 18446744073709551615ull},
      {R"( { "g" : { "a" : [1, 2.5e-3, true, null, "x\"y\\u00e9"] } , "id" : 0 } )", true, 0},
      {R"({"id":7,"c":{}})", true, 7},
      {R"({"id":5})", false, 0},                       // one member: never delivered
      {R"({"id":5,"n":{"t":1}})", false, 0},           // a notification
      {R"({"id":"l#1","c":{"move.l":0}})", false, 0},  // a motion message
      {R"({"id":-1,"c":{}})", false, 0},
      {R"({"id":1.5,"c":{}})", false, 0},
      {R"({"id":1e3,"c":{}})", false, 0},
      {R"({"id":05,"c":{}})", false, 0},
      {R"({"id":18446744073709551616,"c":{}})", false, 0},  // beyond 64 bits
      {R"({"id":5,"id":6,"c":{}})", false, 0},              // which one would count is not ours to say
      {R"({"\u0069d":5,"c":{}})", false, 0},                // an escaped name takes the full parse
      {R"({"id":5,"c":"\ud800"})", false, 0},               // a lone surrogate: not JSON at all
      {R"({"id":5,"c":"\udc00x"})", false, 0},
      {R"({"id":5,"c":"\uD83D\uDE00"})", false, 0},  // a pair is left to the full parse
      {R"({"id":5,"c":"\ud7ff\ue000"})", true, 5},
      {R"({"id":5,"c":{}} trailing)", false, 0},
      {R"({"id":5,"c":{}}/*x*/)", false, 0},
      {R"({"id":5,"c":{"k":tru}})", false, 0},
      {R"({"id":5,"c":"unterminated)", false, 0},
      {"{\"id\":5,\"c\":\"a\x01b\"}", false, 0},   // a raw control character
      {R"({"id":5,"c":)" + deep + "}", false, 0},  // nested beyond the scan's depth
      {"[1,2]", false, 0},
      {"", false, 0},
      {"{}", false, 0},
  };
  for (const auto& c : cases) {
    std::uint64_t id = 99;
    EXPECT_EQ(replyIdOf(c.text, id), c.reply) << c.text;
    if (c.reply) {
      EXPECT_EQ(id, c.id) << c.text;
    }
  }
}

// What is built without the full parse must be exactly what the full parse builds, types
// included (an integer stays an integer, 0 is not false); whatever is not certainly plain is
// left to the full parse.
TEST(ReplyText, APlainObjectIsBuiltExactlyAsTheFullParseBuildsIt) {
  struct Case {
    std::string text;
    bool built;
  };
  const Case cases[] = {
      {R"({"g":{"sys.state":3},"id":7})", true},
      {R"({"c":{"move.reset":0},"id":27})", true},
      {R"( { "s" : { "k" : -4 } , "id" : 18446744073709551615 } )", false},  // id beyond 18 digits
      {R"({"g":{"a":[1,-2,[],{}],"b":"text with spaces","t":true,"f":false,"z":null},"id":0})", true},
      {R"({"g":{"big":999999999999999999,"neg":-999999999999999999,"mz":-0},"id":1})", true},
      {R"({"g":{"k":1000000000000000000},"id":1})", false},  // 19 digits
      {R"({"g":{"k":1.5},"id":1})", false},
      {R"({"g":{"k":1e3},"id":1})", false},
      {R"({"g":{"k":01},"id":1})", false},
      {R"({"g":{"k":"a\"b"},"id":1})", false},              // an escape
      {"{\"g\":{\"k\":\"caf\xc3\xa9\"},\"id\":1}", false},  // beyond ASCII
      {R"({"g":{"k":1,"k":2},"id":1})", false},             // a name twice
      {R"({"g":{"k":1},"id":1} trailing)", false},
      {R"({"g":{"k":1},"id":1}/*c*/)", false},
      {R"({"g":{"k":1,},"id":1})", false},  // a trailing comma
      {R"({"g":{"k":tru},"id":1})", false},
      {R"({"g":{"k":1})", false},
      {R"([{"id":1}])", false},
      {std::string(20, '{'), false},
      {R"({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{"i":{"j":{"k":{"l":{"m":{"n":{"o":{"p":{"q":1}}}}}}}}}}}}}}}}})",
       false},
  };
  const std::unique_ptr<Json::CharReader> reader = makeMessageReader();
  for (const auto& c : cases) {
    Json::Value built;
    const bool took = buildPlainObject(c.text, built);
    EXPECT_EQ(took, c.built) << c.text;
    if (!took) continue;
    Json::Value parsed;
    ASSERT_TRUE(reader->parse(c.text.data(), c.text.data() + c.text.size(), &parsed, nullptr)) << c.text;
    EXPECT_EQ(built, parsed) << c.text;
    EXPECT_EQ(built.toStyledString(), parsed.toStyledString()) << c.text;
  }
  Json::Value value;
  ASSERT_TRUE(buildPlainObject(R"({"g":{"i":5,"z":0,"n":-3},"id":1})", value));
  EXPECT_TRUE(value["g"]["i"].isInt() && value["g"]["z"].isInt() && value["g"]["n"].isInt());
  EXPECT_FALSE(value["g"]["z"].isBool());
}

// A request's own value is built alone, exactly as the full parse has it; a reply that is not
// certainly a plain one for that request and value is left to the full parse.
TEST(ReplyText, TheValueARequestAsksForIsBuiltAloneExactlyAsTheFullParseHasIt) {
  struct Case {
    std::string text;
    std::uint64_t id;
    bool built;
  };
  const Case cases[] = {
      {R"({"g":{"k":"idle"},"id":7})", 7, true},
      {R"({"id":7,"g":{"a":1.5,"k":[1,{"x":null}],"b":"\u00e9"}})", 7, true},  // the rest only checked
      {R"( { "x" : 2.5e3 , "g" : { "k" : -4 } , "id" : 7 } )", 7, true},
      {R"({"g":{"k":0},"id":8})", 7, false},  // another request's
      {R"({"g":{"j":0},"id":7})", 7, false},  // no such value
      {R"({"g":{},"id":7})", 7, false},
      {R"({"g":0,"id":7})", 7, false},                    // the form is no object
      {R"({"c":{"k":0},"id":7})", 7, false},              // another form
      {R"({"g":{"k":0},"g":{"k":1},"id":7})", 7, false},  // the form twice
      {R"({"g":{"k":0,"k":1},"id":7})", 7, false},        // the value twice
      {R"({"g":{"k":1.5},"id":7})", 7, false},            // a value only the full parse builds
      {R"({"g":{"\u006b":0},"id":7})", 7, false},         // an escaped name
      {R"({"g":{"k":0},"id":7,"n":{}})", 7, false},       // a notification
      {R"({"g":{"k":0},"id":7,"x":[1,})", 7, false},      // not JSON after the value
      {R"({"g":{"k":0},"id":7} x)", 7, false},
  };
  const std::unique_ptr<Json::CharReader> reader = makeMessageReader();
  for (const auto& c : cases) {
    Json::Value built;
    const bool took = buildReplyValue(c.text, c.id, "g", "k", built);
    EXPECT_EQ(took, c.built) << c.text;
    if (!took) continue;
    Json::Value parsed;
    ASSERT_TRUE(reader->parse(c.text.data(), c.text.data() + c.text.size(), &parsed, nullptr)) << c.text;
    EXPECT_EQ(built, parsed["g"]["k"]) << c.text;
    EXPECT_EQ(built.toStyledString(), parsed["g"]["k"].toStyledString()) << c.text;
  }
}

// Numbers near and beyond a double's range: the full parse refuses those beyond it and drops the
// message, so the scan must never take such a text for a reply (its request would get an
// answer the full parse never gives).
TEST(ReplyText, NumbersBeyondADoubleTakeTheFullParse) {
  const std::string zeros308(308, '0');
  const std::string numbers[] = {
      "1e999",
      "-1e999",
      "1E+999",
      "1.8e308",
      "1.7e308",
      "9.99e307",
      "1e308",
      "1e-999",
      "0e999",
      "0.0e400",
      "1.5",
      "123456.7e302",
      "123456.7e303",
      "0.001e311",
      "2e-308",
      "-0.0e-5",
      "1" + zeros308,   // 1e308, written out
      "2" + zeros308,   // 2e308
      "-9" + zeros308,  // -9e308
      "1" + zeros308 + ".5e-2",
  };
  const std::unique_ptr<Json::CharReader> reader = makeMessageReader();
  int refusedByTheParse = 0;
  for (const std::string& number : numbers) {
    for (const std::string& text :
         {R"({"c":{"k":0},"id":5,"x":)" + number + "}", R"({"id":5,"c":{"k":0,"v":[1,)" + number + "]}}"}) {
      SCOPED_TRACE(text);
      Json::Value parsed;
      const bool parses = reader->parse(text.data(), text.data() + text.size(), &parsed, nullptr);
      if (!parses) ++refusedByTheParse;
      std::uint64_t id = 0;
      // Taking it for a reply is a promise the full parse routes it as one; declining is free.
      if (replyIdOf(text, id)) {
        EXPECT_TRUE(parses);
      }
      Json::Value picked;
      if (buildReplyValue(text, 5, "c", "k", picked)) {
        EXPECT_TRUE(parses);
      }
    }
  }
  // The table holds both kinds.
  EXPECT_GE(refusedByTheParse, 10);
  std::uint64_t id = 0;
  EXPECT_TRUE(replyIdOf(R"({"c":{"k":0},"id":5,"x":9.99e307})", id));
  EXPECT_TRUE(replyIdOf(R"({"c":{"k":0},"id":5,"x":1e-999})", id));
}
