#include "upgrade/upgrade_frames.h"

#include <json/reader.h>

#include <algorithm>
#include <cstring>

#include "common/json_read.h"

namespace velmora::internal {

namespace {

// A buffer larger than this is given back once its frame has been used, so an idle client holds
// no backup-sized memory.
constexpr std::size_t kKeepCapacity = 64 * 1024;

void release(std::vector<char>& buffer) noexcept {
  buffer.clear();
  if (buffer.capacity() > kKeepCapacity) std::vector<char>().swap(buffer);
}

}  // namespace

void writeFrameHeader(std::uint8_t* out, std::uint64_t payloadLength, std::uint8_t type) noexcept {
  out[0] = static_cast<std::uint8_t>(payloadLength >> 24);
  out[1] = static_cast<std::uint8_t>(payloadLength >> 16);
  out[2] = static_cast<std::uint8_t>(payloadLength >> 8);
  out[3] = static_cast<std::uint8_t>(payloadLength);
  out[4] = type;
  out[5] = 0;
}

void FrameReader::reset() noexcept {
  state_ = FrameState::waiting;
  expecting_ = false;
  headerFill_ = 0;
  payloadLength_ = 0;
  release(payload_);
  release(kept_);
}

FrameState FrameReader::expect(const FrameRule& rule) {
  if (state_ == FrameState::wrongType || state_ == FrameState::badLength) reset();
  rule_ = rule;
  state_ = FrameState::waiting;
  expecting_ = true;
  headerFill_ = 0;
  payloadLength_ = 0;
  release(payload_);
  std::vector<char> earlier;
  earlier.swap(kept_);
  feed(earlier.data(), earlier.size());
  if (kept_.empty()) {
    // Keep the buffer's room for the next leftovers.
    earlier.clear();
    if (earlier.capacity() <= kKeepCapacity) kept_.swap(earlier);
  }
  return state_;
}

FrameState FrameReader::feed(const char* data, std::size_t size) {
  if (state_ == FrameState::wrongType || state_ == FrameState::badLength) return state_;
  while (size > 0 && expecting_ && state_ == FrameState::waiting) {
    if (headerFill_ < kFrameHeader) {
      const std::size_t n = std::min(size, kFrameHeader - headerFill_);
      std::memcpy(header_ + headerFill_, data, n);
      headerFill_ += n;
      data += n;
      size -= n;
      if (headerFill_ < kFrameHeader) break;
      payloadLength_ = (std::uint64_t{header_[0]} << 24) | (std::uint64_t{header_[1]} << 16) |
                       (std::uint64_t{header_[2]} << 8) | header_[3];
      if (rule_.type && header_[4] != *rule_.type) {
        state_ = FrameState::wrongType;
      } else if (payloadLength_ < rule_.minPayload || payloadLength_ > rule_.maxPayload) {
        state_ = FrameState::badLength;
      } else {
        // Sized to this frame only now that its length has passed the rule.
        payload_.reserve(static_cast<std::size_t>(payloadLength_));
        if (payloadLength_ == 0) state_ = FrameState::complete;
      }
      if (state_ != FrameState::waiting) break;
      continue;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, payloadLength_ - payload_.size()));
    payload_.insert(payload_.end(), data, data + n);
    data += n;
    size -= n;
    if (payload_.size() == payloadLength_) state_ = FrameState::complete;
  }
  if (size > 0 && (state_ == FrameState::complete || !expecting_)) kept_.insert(kept_.end(), data, data + size);
  return state_;
}

Json::Value parseReplyPayload(std::string_view payload) {
  Json::Value reply;
  try {
    if (payload.empty() || !messageReader().parse(payload.data(), payload.data() + payload.size(), &reply, nullptr)) {
      return Json::Value();
    }
  } catch (const Json::Exception&) {
    return Json::Value();  // nesting beyond the reader's limit
  }
  return reply;
}

bool splitBackupPayload(std::string_view payload, BackupFile& out) {
  if (payload.size() < kNameOffset) return false;
  const std::size_t nameLength =
      (static_cast<std::size_t>(static_cast<std::uint8_t>(payload[kNameLengthOffset])) << 8) |
      static_cast<std::uint8_t>(payload[kNameLengthOffset + 1]);
  if (payload.size() - kNameOffset < nameLength) return false;
  out.digest = payload.substr(kDigestOffset, 16);
  out.name.assign(payload.substr(kNameOffset, std::min(nameLength, kMaxBackupName)));
  out.bytes = payload.substr(kNameOffset + nameLength);
  return true;
}

}  // namespace velmora::internal
