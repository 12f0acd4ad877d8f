#include <velmora/error.h>

#include <cstring>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "network/json_text.h"
#include "network/link_settings.h"
#include "network/xservice.h"

namespace velmora::internal {

std::atomic<std::uint64_t> nextRequestId{1};

namespace {

using Clock = std::chrono::steady_clock;

// The text of a request is built in a buffer of the sending thread and written from it, so a
// request costs no allocation once the buffer has grown. A buffer grown by a rare large message
// is given back.
class SendBuffer {
 public:
  SendBuffer() : text_(buffer()) { text_.clear(); }
  ~SendBuffer() {
    if (text_.capacity() > 64 * 1024) std::string().swap(text_);
  }
  SendBuffer(const SendBuffer&) = delete;
  SendBuffer& operator=(const SendBuffer&) = delete;
  std::string& text() noexcept { return text_; }

 private:
  static std::string& buffer() {
    thread_local std::string text;
    return text;
  }
  std::string& text_;
};

Clock::time_point deadlineAfter(std::chrono::nanoseconds timeout) {
  const auto now = Clock::now();
  if (timeout <= std::chrono::nanoseconds::zero()) return now;
  // Far enough for any caller, near enough that no clock arithmetic overflows.
  constexpr std::chrono::hours kLongest(24 * 365 * 100);
  if (timeout >= kLongest) return now + kLongest;
  return now + std::chrono::duration_cast<Clock::duration>(timeout);
}

std::chrono::nanoseconds defaultWait() { return linkSettings().defaultRequestWait.load(); }

// {"<form>":{key:value}...: the start of a one-key request of the forms ordered before "id".
void appendBody(std::string& out, const std::string& key, const Json::Value& value) {
  out.push_back('{');
  appendJsonString(out, key);
  out.push_back(':');
  appendJson(out, value);
  out.push_back('}');
}

// Forms whose member sorts before "id" ("c", "g") lead; the others ("s", "w") follow it.
void writeRequest(std::string& out, char form, const std::string& key, const Json::Value& value, std::uint64_t id) {
  if (form < 'i') {
    out += "{\"";
    out.push_back(form);
    out += "\":";
    appendBody(out, key, value);
    out += ",\"id\":";
    appendUnsigned(out, id);
    out.push_back('}');
  } else {
    out += "{\"id\":";
    appendUnsigned(out, id);
    out += ",\"";
    out.push_back(form);
    out += "\":";
    appendBody(out, key, value);
    out.push_back('}');
  }
}

}  // namespace

std::error_code XService::transmit(std::string_view text, std::uint64_t* number) {
  // The controller reads lines of at most this length, as the link does; a longer one would
  // break its framing rather than be refused.
  if (text.size() > DelimiterFramer::kDefaultCap) return makeErrorCode(259);
  switch (client.post(text, number)) {
    case TcpClient::Posted::queued:
      return makeErrorCode(0);
    case TcpClient::Posted::notConnected:
      return makeErrorCode(256);
    case TcpClient::Posted::full:
      break;
  }
  // The controller has stopped reading: the link takes no more than its bound.
  try {
    std::lock_guard<std::mutex> lock(dropMutex_);
    ++refusedSinceLog_;
    const auto now = Clock::now();
    if (now - lastFullLog_ >= std::chrono::seconds(1)) {
      lastFullLog_ = now;
      globalLogger()->warn("uid: {} | xService {}:{} holds as much unsent as it may; {} request(s) refused ({} bytes "
                           "the last)",
                           logUid, host, port, refusedSinceLog_, text.size());
      refusedSinceLog_ = 0;
    }
  } catch (...) {
  }
  return makeErrorCode(256);
}

template <typename Writer>
std::error_code XService::exchange(const Writer& write, Json::Value& reply, std::chrono::nanoseconds timeout) {
  const auto deadline = deadlineAfter(timeout);
  const std::uint64_t id = nextRequestId.fetch_add(1, std::memory_order_relaxed);
  // Registered before the bytes leave, so the reply cannot come before anyone waits for it.
  ReplyWaiters::Ticket ticket(waiters, id);
  std::uint64_t number = 0;
  {
    SendBuffer buffer;
    write(buffer.text(), id);
    buffer.text().push_back('\r');
    // Reading before the request leaves: a fast reply then never wakes the I/O thread.
    ticket.readFromNow();
    if (const std::error_code ec = transmit(buffer.text(), &number)) return ec;
  }
  const std::error_code ec = ticket.wait(reply, deadline);
  // A request still queued when its caller is told it failed must never reach the controller
  // later (one partly written already is finished: the stream's framing depends on it).
  if (ec == makeErrorCode(263) && number != 0) client.withdraw(number);
  return ec;
}

// The replies are the callers' own copies, so their values may be taken by swap.
Json::Value* XService::replyBody(Json::Value& reply, const char* form) {
  if (!reply.isObject()) return nullptr;
  const Json::Value* body = reply.find(form, form + std::strlen(form));
  if (body == nullptr || !body->isObject()) return nullptr;
  return const_cast<Json::Value*>(body);
}

Json::Value* XService::replyValue(Json::Value& reply, const char* form, const std::string& key) {
  Json::Value* body = replyBody(reply, form);
  if (body == nullptr) return nullptr;
  return const_cast<Json::Value*>(body->find(key.data(), key.data() + key.size()));
}

void XService::request(Json::Value& request, Json::Value& reply, std::error_code& ec, std::chrono::nanoseconds timeout) {
  ec = makeErrorCode(0);
  if (!request.isObject() && !request.isNull()) {
    ec = makeErrorCode(259);
    return;
  }
  ec = exchange(
      [&request](std::string& out, std::uint64_t id) {
        request["id"] = Json::UInt64(id);
        appendJson(out, request);
      },
      reply, timeout);
}

bool XService::sendJson(const Json::Value& message) {
  SendBuffer buffer;
  appendJson(buffer.text(), message);
  buffer.text().push_back('\r');
  return !transmit(buffer.text());
}

void XService::sendCommand(const std::string& key, const Json::Value& value, Json::Value& result, std::error_code& ec,
                           std::chrono::nanoseconds timeout) {
  Json::Value reply;
  ec = exchange([&](std::string& out, std::uint64_t id) { writeRequest(out, 'c', key, value, id); }, reply, timeout);
  if (ec) return;
  if (Json::Value* found = replyValue(reply, "c", key)) {
    result.swap(*found);
  } else {
    ec = makeErrorCode(257);
  }
}

void XService::sendCommandAsync(const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                                std::error_code& ec, const void* owner) {
  ec = makeErrorCode(0);
  const std::uint64_t id = nextRequestId.fetch_add(1, std::memory_order_relaxed);
  SendBuffer buffer;
  writeRequest(buffer.text(), 'c', key, value, id);
  buffer.text().push_back('\r');
  // Stored before the bytes leave: a reply that comes back at once must find its callback.
  if (onReply) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    replyCallbacks_[id] = ReplyCallback{onReply, owner};
  }
  ec = transmit(buffer.text());
  if (!ec) return;
  if (onReply) {
    ReplyCallback unsent;
    std::lock_guard<std::mutex> lock(callbackMutex_);
    const auto it = replyCallbacks_.find(id);
    if (it != replyCallbacks_.end()) {
      unsent = std::move(it->second);
      replyCallbacks_.erase(it);
    }
  }
}

void XService::sendCommandWithId(const Json::Value& body, const Json::Value& id, std::error_code& ec) {
  ec = makeErrorCode(0);
  SendBuffer buffer;
  std::string& out = buffer.text();
  out += "{\"c\":";
  appendJson(out, body);
  out += ",\"id\":";
  appendJson(out, id);
  out += "}\r";
  ec = transmit(out);
}

void XService::getValue(const std::string& key, Json::Value& value, std::error_code& ec) {
  Json::Value reply;
  ec = exchange([&](std::string& out, std::uint64_t id) { writeRequest(out, 'g', key, value, id); }, reply,
                defaultWait());
  if (ec) return;
  if (Json::Value* found = replyValue(reply, "g", key)) {
    value.swap(*found);
  } else {
    ec = makeErrorCode(257);
  }
}

void XService::getValue(const std::string& key, const Json::Value& param, Json::Value& out, std::error_code& ec) {
  Json::Value reply;
  ec = exchange([&](std::string& text, std::uint64_t id) { writeRequest(text, 'g', key, param, id); }, reply,
                defaultWait());
  if (ec) return;
  if (Json::Value* found = replyValue(reply, "g", key)) {
    out.swap(*found);
  } else {
    ec = makeErrorCode(257);
  }
}

void XService::getValues(const std::vector<std::string>& keys, const std::vector<Json::Value>& params, Json::Value& out,
                         std::error_code& ec) {
  ec = makeErrorCode(0);
  if (keys.size() != params.size()) {
    ec = makeErrorCode(259);
    return;
  }
  Json::Value body(Json::objectValue);
  for (std::size_t i = 0; i < keys.size(); ++i) body[keys[i]] = params[i];  // a later duplicate wins
  Json::Value reply;
  ec = exchange(
      [&](std::string& text, std::uint64_t id) {
        text += "{\"g\":";
        appendJson(text, body);
        text += ",\"id\":";
        appendUnsigned(text, id);
        text.push_back('}');
      },
      reply, defaultWait());
  if (ec) return;
  if (Json::Value* found = replyBody(reply, "g")) {
    out.swap(*found);
  } else {
    ec = makeErrorCode(257);
  }
}

int XService::setForm(const std::string& key, const Json::Value& value, std::error_code& ec) {
  Json::Value reply;
  ec = exchange([&](std::string& out, std::uint64_t id) { writeRequest(out, 's', key, value, id); }, reply,
                defaultWait());
  if (ec) return 0;
  int code = 0;
  const Json::Value* found = replyValue(reply, "s", key);
  if (found == nullptr || !readInt(*found, code)) {
    ec = makeErrorCode(257);
    return 0;
  }
  return code;
}

void XService::setValue(const std::string& key, const Json::Value& value, std::error_code& ec) {
  const int code = setForm(key, value, ec);
  if (!ec) ec = makeErrorCode(code);
}

int XService::setValueRaw(const std::string& key, const Json::Value& value, std::error_code& ec) {
  return setForm(key, value, ec);
}

void XService::watch(const std::string& topic, bool on, std::error_code& ec) {
  ec = makeErrorCode(0);
  const std::uint64_t id = nextRequestId.fetch_add(1, std::memory_order_relaxed);
  SendBuffer buffer;
  writeRequest(buffer.text(), 'w', topic, Json::Value(on), id);
  buffer.text().push_back('\r');
  ec = transmit(buffer.text());
}

}  // namespace velmora::internal
