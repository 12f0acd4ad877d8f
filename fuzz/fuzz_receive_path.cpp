// Whatever the controller sends goes through the command link's receive path exactly as on its
// I/O thread: framing at carriage returns, parsing, dispatch to waiting requests, reply
// callbacks and the two message callbacks. Nothing may escape or crash; a waiting request gets
// only a reply carrying its own id; nothing is left registered afterwards. Inputs that parse as
// JSON also check the request writer against the JSON library's compact writer.
#include <json/reader.h>
#include <json/writer.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/json_read.h"
#include "fuzz_support.h"
#include "network/tcp/framer.h"
#include "network/xservice/json_text.h"
#include "network/xservice/reply_text.h"
#include "network/xservice/xservice.h"
#include "support/xservice_probe.h"

namespace {

using velmora::internal::ReplyWaiters;
using velmora::internal::XService;
using velmora::internal::XServiceProbe;

struct Sink final : velmora::internal::MessageSink {
  explicit Sink(XService& link) : link(link) {}
  bool onMessage(std::string_view message) override {
    link.onReceive(message);
    return true;
  }
  XService& link;
};

XService& link() {
  static XService* service = [] {
    auto* s = new XService;  // never connected: no socket, no thread
    s->setMotionCallback([](const Json::Value& m) {
      if (m.isMember("x")) throw std::runtime_error("motion callback failure");
    });
    s->setNotificationCallback([](const Json::Value& m) {
      if (m["n"].isMember("x")) throw 1;
    });
    return s;
  }();
  return *service;
}

void checkWriter(std::string_view text) {
  Json::Value value;
  try {
    if (!fuzz::parseJson(text.data(), text.data() + text.size(), value)) return;
  } catch (const std::exception&) {
    return;  // nesting beyond the reader's limit
  }
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["commentStyle"] = "None";
  std::string ours;
  velmora::internal::appendJson(ours, value);
  if (ours != Json::writeString(builder, value)) std::abort();
}

// A message taken for a reply from its text alone must be one the full parse would route as
// that reply: anything else reaching a waiter would be a reply to the wrong request.
void checkReplyId(std::string_view text) {
  static const std::unique_ptr<Json::CharReader> reader = velmora::internal::makeMessageReader();
  // A reply built without the full parse must be the one the full parse builds.
  Json::Value built;
  if (velmora::internal::buildPlainObject(text, built)) {
    Json::Value parsed;
    if (!reader->parse(text.data(), text.data() + text.size(), &parsed, nullptr)) std::abort();
    if (!(built == parsed) || built.toStyledString() != parsed.toStyledString()) std::abort();
  }
  std::uint64_t id = 0;
  if (!velmora::internal::replyIdOf(text, id)) return;
  Json::Value value;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, nullptr)) std::abort();
  if (!value.isObject() || value.size() < 2 || value.isMember("n")) std::abort();
  if (!value["id"].isUInt64() || value["id"].asUInt64() != id) std::abort();
  // A request's own value built alone must be the one the full parse gives, and only for its id.
  for (const char* form : {"g", "c", "s"}) {
    std::vector<std::string> keys{"k"};
    const Json::Value& body = value[form];
    if (body.isObject() && !body.empty()) keys.push_back(body.getMemberNames().front());
    for (const std::string& key : keys) {
      Json::Value picked;
      if (velmora::internal::buildReplyValue(text, id + 1, form, key, picked)) std::abort();
      if (!velmora::internal::buildReplyValue(text, id, form, key, picked)) continue;
      if (!body.isObject() || !body.isMember(key)) std::abort();
      if (!(picked == body[key]) || picked.toStyledString() != body[key].toStyledString()) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t chunk = 1 + data[0] % 61;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  XService& service = link();
  {
    ReplyWaiters::Ticket first(XServiceProbe::waiters(service), 1);
    ReplyWaiters::Ticket second(XServiceProbe::waiters(service), 2);
    velmora::internal::DelimiterFramer framer('\r', 4096);
    Sink sink(service);
    for (std::size_t offset = 0; offset < input.size(); offset += chunk) {
      if (framer.feed(input.substr(offset, chunk), sink) == velmora::internal::FrameStatus::overflow) break;
    }
    // Whatever is left without its carriage return is one more message, as a last read would be.
    if (framer.pending() > 0 && framer.pending() < 4096) sink.onMessage(input.substr(input.size() - framer.pending()));
    const auto now = std::chrono::steady_clock::now();
    std::uint64_t expected = 1;
    for (ReplyWaiters::Ticket* ticket : {&first, &second}) {
      Json::Value reply;
      if (!ticket->wait(reply, now)) {
        if (!reply.isObject() || !reply["id"].isUInt64() || reply["id"].asUInt64() != expected) std::abort();
      }
      ++expected;
    }
  }
  if (service.pendingRequests() != 0 || service.pendingReplyCallbacks() != 0) std::abort();
  checkWriter(input);
  checkReplyId(input);
  return 0;
}
