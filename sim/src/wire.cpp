#include "velmora_sim/wire.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

namespace velmora_sim {

const char* formMember(Form form) noexcept {
  switch (form) {
    case Form::command:
      return "c";
    case Form::get:
      return "g";
    case Form::set:
      return "s";
    case Form::watch:
      return "w";
    case Form::other:
      break;
  }
  return "";
}

Form formOf(std::string_view member) noexcept {
  if (member == "c") return Form::command;
  if (member == "g") return Form::get;
  if (member == "s") return Form::set;
  if (member == "w") return Form::watch;
  return Form::other;
}

std::string frame(const Json::Value& message) {
  static const Json::StreamWriterBuilder builder = [] {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    return b;
  }();
  std::string text = Json::writeString(builder, message);
  text.push_back('\r');
  return text;
}

bool parseJson(std::string_view text, Json::Value& out) {
  static thread_local const std::unique_ptr<Json::CharReader> reader = [] {
    Json::CharReaderBuilder builder;
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
  }();
  if (text.empty()) return false;
  return reader->parse(text.data(), text.data() + text.size(), &out, nullptr);
}

}  // namespace velmora_sim
