#include "support/json_match.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

bool jsonEquivalent(const Json::Value& a, const Json::Value& b) {
  if (a.isNumeric() && b.isNumeric() && !a.isBool() && !b.isBool()) {
    if (a.isIntegral() && b.isIntegral()) {
      // Compare wide integers exactly: an unsigned above the signed range differs from any int.
      if (a.isInt64() && b.isInt64()) return a.asInt64() == b.asInt64();
      if (a.isUInt64() && b.isUInt64()) return a.asUInt64() == b.asUInt64();
      return false;
    }
    return a.asDouble() == b.asDouble();
  }
  if (a.type() != b.type()) return false;
  if (a.isArray()) {
    if (a.size() != b.size()) return false;
    for (Json::ArrayIndex i = 0; i < a.size(); ++i) {
      if (!jsonEquivalent(a[i], b[i])) return false;
    }
    return true;
  }
  if (a.isObject()) {
    if (a.getMemberNames() != b.getMemberNames()) return false;
    for (const std::string& name : a.getMemberNames()) {
      if (!jsonEquivalent(a[name], b[name])) return false;
    }
    return true;
  }
  return a == b;
}

Json::Value parseJson(const std::string& text) {
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
    ADD_FAILURE() << "not JSON: " << text << " (" << errors << ")";
    return Json::Value();
  }
  return value;
}

std::string compactJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}
