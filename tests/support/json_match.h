#pragma once
// Comparing JSON as the controller reads it: numbers by value (1 and 1.0 are equal), objects by
// members whatever their order; printed as compact text in failure messages.

#include <gmock/gmock.h>
#include <json/value.h>

#include <ostream>
#include <string>

bool jsonEquivalent(const Json::Value& a, const Json::Value& b);
/// The text parsed. Text that is not JSON fails the test (a typo in a table would otherwise
/// pass as a null) and gives null.
Json::Value parseJson(const std::string& text);
std::string compactJson(const Json::Value& value);

/// Matches a value equivalent to the JSON `text`.
MATCHER_P(JsonIs, text, std::string("is JSON ") + text) {
  *result_listener << "which is " << compactJson(arg);
  return jsonEquivalent(arg, parseJson(text));
}
