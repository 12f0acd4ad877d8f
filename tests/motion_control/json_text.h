#pragma once
// Compact JSON text of a value and back, for comparing what was built with what a controller
// would read. Members come out in byte order of their names and reals keep their ".0", so an
// integer where a real belongs shows as a difference.

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

inline std::string jsonText(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

inline Json::Value parseJsonText(const std::string& text) {
  std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  Json::Value value;
  std::string errors;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << text << ": " << errors;
  return value;
}

/// `text` as compact JSON text (members sorted), so two texts compare regardless of layout.
inline std::string canonical(const std::string& text) { return jsonText(parseJsonText(text)); }
