#include <gmock/gmock.h>

#include <string>

#include "network/xservice/reply_text.h"

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
