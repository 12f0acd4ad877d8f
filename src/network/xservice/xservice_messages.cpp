#include <velmora/error.h>

#include <cstring>
#include <optional>

#include "common/globals.h"
#include "common/json_read.h"
#include "common/logging.h"
#include "network/xservice/json_text.h"
#include "network/xservice/xservice.h"

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
  const std::string& text() const noexcept { return text_; }

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
  out.push_back('\r');
}

std::uint64_t newRequestId() noexcept { return nextRequestId.fetch_add(1, std::memory_order_relaxed); }

// A one-key request of form `form` under a new id, framed, in the sending thread's buffer.
class RequestText {
 public:
  RequestText(char form, const std::string& key, const Json::Value& value) : id(newRequestId()) {
    writeRequest(buffer_.text(), form, key, value, id);
  }
  std::string_view view() const noexcept { return buffer_.text(); }
  const std::uint64_t id;

 private:
  SendBuffer buffer_;
};

}  // namespace

std::error_code XService::request(std::string_view text, std::uint64_t id, Json::Value* reply,
                                  std::chrono::nanoseconds timeout, const ReplyWaiters::Pick* pick, bool* picked) {
  // The controller reads lines of at most this length, as the link does; a longer one would
  // break its framing rather than be refused.
  if (text.size() > DelimiterFramer::kDefaultCap) return makeErrorCode(259);
  const auto deadline = deadlineAfter(timeout);
  // Registered before the bytes leave, so the reply cannot come before anyone waits for it.
  std::optional<ReplyWaiters::Ticket> ticket;
  if (reply != nullptr) {
    ticket.emplace(waiters_, id);
    ticket->pickOnly(pick);
    // Reading before the request leaves: a fast reply then never wakes the I/O thread.
    ticket->readFromNow();
  }
  std::uint64_t number = 0;
  switch (client_.send(text, &number)) {
    case TcpClient::Posted::queued:
      break;
    case TcpClient::Posted::notConnected:
      return makeErrorCode(256);
    case TcpClient::Posted::full:
      // The link is up; only the controller reads too slowly. A lost link's code would send
      // callers that reconnect on it into churn against a controller that is still there.
      noteRefused(text.size());
      timeouts_.fetch_add(1, std::memory_order_relaxed);
      return makeErrorCode(263);
  }
  if (!ticket) return makeErrorCode(0);
  if (fileLinkDue_.load(std::memory_order_relaxed)) launchDueFileLink();
  const std::error_code ec = ticket->wait(*reply, deadline);
  if (picked != nullptr) *picked = ticket->picked();
  if (ec == makeErrorCode(263)) {
    timeouts_.fetch_add(1, std::memory_order_relaxed);
    // A request still queued when its caller is told it failed must never reach the controller
    // later (one partly written already is finished: the stream's framing depends on it).
    if (number != 0) client_.withdraw(number);
  }
  return ec;
}

// The controller has stopped reading: the link takes no more than its bound.
void XService::noteRefused(std::size_t bytes) noexcept {
  try {
    std::lock_guard<std::mutex> lock(dropMutex_);
    ++refusedSinceLog_;
    const auto now = Clock::now();
    if (now - lastFullLog_ >= std::chrono::seconds(1)) {
      lastFullLog_ = now;
      globalLogger()->warn(
          "uid: {} | xService {}:{} holds as much unsent as it may; {} request(s) refused ({} bytes "
          "the last)",
          logUid, host_, port_, refusedSinceLog_, bytes);
      refusedSinceLog_ = 0;
    }
  } catch (...) {
  }
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

std::error_code XService::requestValue(std::string_view text, std::uint64_t id, const char* form,
                                       const std::string& key, Json::Value& value, std::chrono::nanoseconds timeout) {
  // Most replies give the value without being built whole.
  const ReplyWaiters::Pick pick{form, key};
  Json::Value reply;
  bool picked = false;
  const std::error_code ec = request(text, id, &reply, timeout, &pick, &picked);
  if (ec) return ec;
  Json::Value* found = picked ? &reply : replyValue(reply, form, key);
  if (found == nullptr) return makeErrorCode(257);
  value.swap(*found);
  return ec;
}

void XService::request(Json::Value& request, Json::Value& reply, std::error_code& ec,
                       std::chrono::nanoseconds timeout) {
  ec = makeErrorCode(0);
  if (!request.isObject() && !request.isNull()) {
    ec = makeErrorCode(259);
    return;
  }
  const std::uint64_t id = newRequestId();
  request["id"] = Json::UInt64(id);
  SendBuffer text;
  appendJson(text.text(), request);
  text.text().push_back('\r');
  ec = this->request(text.text(), id, &reply, timeout);
}

bool XService::sendJson(const Json::Value& message) {
  SendBuffer text;
  appendJson(text.text(), message);
  text.text().push_back('\r');
  return !request(text.text(), 0, nullptr, std::chrono::nanoseconds::zero());
}

void XService::sendCommand(const std::string& key, const Json::Value& value, Json::Value& result, std::error_code& ec,
                           std::chrono::nanoseconds timeout) {
  const RequestText text('c', key, value);
  ec = requestValue(text.view(), text.id, "c", key, result, timeout);
}

void XService::sendCommandAsync(const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                                std::error_code& ec, const void* owner) {
  sendAsync('c', key, value, onReply, ec, owner);
}

void XService::setValueAsync(const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                             std::error_code& ec, const void* owner) {
  sendAsync('s', key, value, onReply, ec, owner);
}

void XService::sendAsync(char form, const std::string& key, const Json::Value& value, const MessageCallback& onReply,
                         std::error_code& ec, const void* owner) {
  const RequestText text(form, key, value);
  // Stored before the bytes leave: a reply that comes back at once must find its callback.
  if (onReply) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    replyCallbacks_[text.id] = ReplyCallback{onReply, owner};
  }
  ec = request(text.view(), text.id, nullptr, std::chrono::nanoseconds::zero());
  if (!ec || !onReply) return;
  ReplyCallback unsent;
  std::lock_guard<std::mutex> lock(callbackMutex_);
  const auto it = replyCallbacks_.find(text.id);
  if (it != replyCallbacks_.end()) {
    unsent = std::move(it->second);
    replyCallbacks_.erase(it);
  }
}

void XService::sendCommandWithId(const Json::Value& body, const Json::Value& id, std::error_code& ec) {
  SendBuffer text;
  std::string& out = text.text();
  out += "{\"c\":";
  appendJson(out, body);
  out += ",\"id\":";
  appendJson(out, id);
  out += "}\r";
  ec = request(out, 0, nullptr, std::chrono::nanoseconds::zero());
}

void XService::getValue(const std::string& key, Json::Value& value, std::error_code& ec) {
  // The parameter is written out before the reply may replace it, and stays on a failure.
  getValue(key, value, value, ec);
}

void XService::getValue(const std::string& key, const Json::Value& param, Json::Value& out, std::error_code& ec) {
  const RequestText text('g', key, param);
  ec = requestValue(text.view(), text.id, "g", key, out, requestWait());
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
  const std::uint64_t id = newRequestId();
  SendBuffer text;
  text.text() += "{\"g\":";
  appendJson(text.text(), body);
  text.text() += ",\"id\":";
  appendUnsigned(text.text(), id);
  text.text() += "}\r";
  Json::Value reply;
  ec = request(text.text(), id, &reply, requestWait());
  if (ec) return;
  if (Json::Value* found = replyBody(reply, "g")) {
    out.swap(*found);
  } else {
    ec = makeErrorCode(257);
  }
}

int XService::setValueRaw(const std::string& key, const Json::Value& value, std::error_code& ec) {
  const RequestText text('s', key, value);
  Json::Value answer;
  ec = requestValue(text.view(), text.id, "s", key, answer, requestWait());
  if (ec) return 0;
  int code = 0;
  if (!readInt(answer, code)) {
    ec = makeErrorCode(257);
    return 0;
  }
  return code;
}

void XService::setValue(const std::string& key, const Json::Value& value, std::error_code& ec) {
  const int code = setValueRaw(key, value, ec);
  if (!ec) ec = makeErrorCode(code);
}

void XService::watch(const std::string& topic, bool on, std::error_code& ec) {
  const RequestText text('w', topic, Json::Value(on));
  ec = request(text.view(), text.id, nullptr, std::chrono::nanoseconds::zero());
}

}  // namespace velmora::internal
