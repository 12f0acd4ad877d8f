#include "upgrade/upgrade_impl.h"

#include <json/writer.h>
#include <velmora/error.h>

#include <algorithm>
#include <new>
#include <thread>

namespace velmora {

using internal::FrameState;
using internal::makeErrorCode;

namespace {

constexpr std::uint16_t kUpgradePort = 4567;

// One operation at a time per object; released on every return.
class BusyMark {
 public:
  explicit BusyMark(std::atomic_flag& flag) noexcept
      : flag_(flag), taken_(!flag.test_and_set(std::memory_order_acquire)) {}
  ~BusyMark() {
    if (taken_) flag_.clear(std::memory_order_release);
  }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;
  bool taken() const noexcept { return taken_; }

 private:
  std::atomic_flag& flag_;
  bool taken_;
};

}  // namespace

BaseUpgrade::Impl::Impl(std::string remote, const internal::UpgradeOptions& options)
    : options_(options), remote_(std::move(remote)) {}

BaseUpgrade::Impl::~Impl() { link_.stop(); }

std::string BaseUpgrade::Impl::remote() const {
  std::lock_guard<std::mutex> lock(remoteMutex_);
  return remote_;
}

void BaseUpgrade::Impl::assignRemote(const std::string& remote) {
  {
    std::lock_guard<std::mutex> lock(remoteMutex_);
    remote_ = remote;
  }
  link_.stop();
}

std::error_code BaseUpgrade::Impl::connect(const std::string* newRemote) {
  BusyMark busy(busy_);
  if (!busy.taken()) return makeErrorCode(-320);
  return connectLink(newRemote);
}

std::error_code BaseUpgrade::Impl::upgrade(const std::string& packagePath) {
  BusyMark busy(busy_);
  if (!busy.taken()) return makeErrorCode(-320);
  const std::error_code ec = runUpgrade(packagePath);
  // Gives back what the replies took, unless bytes kept may begin the reply still owed.
  if (staleReplies_ == 0) reader_.reset();
  return ec;
}

std::error_code BaseUpgrade::Impl::exportBackup(const std::string& localFilePath, const std::set<BackupItem>& items) {
  BusyMark busy(busy_);
  if (!busy.taken()) return makeErrorCode(-320);
  const std::error_code ec = runExport(localFilePath, items);
  reader_.reset();  // the backup frame may have been hundreds of MiB
  return ec;
}

std::error_code BaseUpgrade::Impl::connectLink(const std::string* newRemote) {
  link_.stop();
  reader_.reset();
  staleReplies_ = 0;  // a new connection owes nothing
  std::string address;
  {
    std::lock_guard<std::mutex> lock(remoteMutex_);
    if (newRemote != nullptr) remote_ = *newRemote;
    address = remote_;
  }
  link_.setRemote(address, kUpgradePort);
  std::error_code ec;
  link_.start(ec);
  if (ec) return ec;
  // A service that accepts and closes at once is not a working link.
  for (int check = 0; check < 5; ++check) {
    if (link_.linkState() != internal::UpdateManagerTcp::kConnected) {
      link_.stop();
      return makeErrorCode(267);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return makeErrorCode(0);
}

void BaseUpgrade::Impl::expectStaleReplies(int replies, std::chrono::milliseconds within) {
  staleReplies_ = replies;
  staleUntil_ = std::chrono::steady_clock::now() + within;
}

void BaseUpgrade::Impl::clearQueue() {
  // A late reply of the previous exchange must not be read as this one's answer, and clearing
  // the bytes alone would not do: it may arrive after the clearing, or be arriving during it.
  // Taken as frames, so the stream stays in step; given up at the exchange's own deadline.
  while (staleReplies_ > 0 && link_.linkState() == internal::UpdateManagerTcp::kConnected) {
    const auto left = staleUntil_ - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const FrameWait wait{{std::nullopt, 0, kMaxReplyPayload},
                         std::chrono::ceil<std::chrono::milliseconds>(left),
                         std::chrono::milliseconds::zero(),
                         -257};
    const std::error_code ec = receiveFrame(wait);
    if (ec && ec.value() != -257) break;
    --staleReplies_;
  }
  staleReplies_ = 0;
  link_.clearQueue();
  reader_.reset();
}

std::error_code BaseUpgrade::Impl::sendFrame(const std::uint8_t* frame, std::size_t size) {
  const auto timeout = options_.chunkTimeout;
  std::error_code ec;
  for (std::size_t offset = 0; offset < size; offset += kChunk) {
    link_.send(frame + offset, std::min(kChunk, size - offset), timeout, ec);
    if (ec) return ec;
  }
  return makeErrorCode(0);
}

std::error_code BaseUpgrade::Impl::sendJson(const Json::Value& request) {
  static const Json::StreamWriterBuilder writer = [] {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return builder;
  }();
  clearQueue();
  const std::string text = Json::writeString(writer, request) + "\n";
  std::vector<std::uint8_t> frame(internal::kFrameHeader + text.size());
  internal::writeFrameHeader(frame.data(), text.size(), internal::kJsonFrame);
  std::copy(text.begin(), text.end(), frame.begin() + internal::kFrameHeader);
  return sendFrame(frame.data(), frame.size());
}

std::error_code BaseUpgrade::Impl::receiveFrame(const FrameWait& wait) {
  using Clock = std::chrono::steady_clock;
  FrameState state = FrameState::waiting;
  try {
    state = reader_.expect(wait.rule);
    const auto deadline = Clock::now() + wait.first;
    std::error_code ec;
    while (state == FrameState::waiting) {
      std::chrono::nanoseconds timeout = wait.first;
      if (wait.more.count() == 0) {
        timeout = std::max(deadline - Clock::now(), Clock::duration::zero());
      } else if (reader_.started()) {
        timeout = wait.more;
      }
      link_.takeBytes(taken_, timeout, ec);
      if (ec) {
        if (reader_.started()) link_.stop();
        return ec;
      }
      state = reader_.feed(taken_.data(), taken_.size());
    }
  } catch (const std::bad_alloc&) {
    link_.stop();
    return makeErrorCode(wait.badLength);
  }
  taken_.clear();
  if (taken_.capacity() > 1024 * 1024) std::vector<char>().swap(taken_);
  switch (state) {
    case FrameState::complete:
      return makeErrorCode(0);
    case FrameState::wrongType:
      link_.stop();
      return makeErrorCode(-257);
    default:
      link_.stop();
      return makeErrorCode(wait.badLength);
  }
}

std::error_code BaseUpgrade::Impl::receiveReply(Json::Value& reply, std::chrono::milliseconds timeout) {
  reply = Json::Value();
  // The type byte of a reply is not looked at: a reply the service marks otherwise is still read,
  // and one that is no JSON object is consumed with the link kept.
  const FrameWait wait{{std::nullopt, 0, kMaxReplyPayload}, timeout, std::chrono::milliseconds::zero(), -257};
  const std::error_code ec = receiveFrame(wait);
  if (ec) return ec;
  reply = internal::parseReplyPayload(reader_.payload());
  return makeErrorCode(reply.isObject() ? 0 : -257);
}

}  // namespace velmora
