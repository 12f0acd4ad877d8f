#pragma once
// Splitting of an inbound byte stream into messages, apart from any socket, so the link's
// receive path can be driven (and fuzzed) without one.

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::internal {

/// Receives the messages that a framer cuts out of the stream.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  /// One complete message; returns false to stop delivering (the link is going down). The view
  /// is valid only during the call.
  virtual bool onMessage(std::string_view message) = 0;
};

/// Outcome of handing received bytes to a framer.
enum class FrameStatus {
  ok,        ///< every complete message was delivered; the rest waits for more bytes
  stopped,   ///< the sink asked to stop; undelivered bytes are left as they are
  overflow,  ///< a message exceeds the framer's cap; the stream cannot be trusted any more
};

/// Cuts a byte stream into messages. A link owns one framer and uses it on its I/O thread only.
class Framer {
 public:
  virtual ~Framer() = default;
  /// Room for the next read: a pointer and a size, never empty.
  virtual std::pair<char*, std::size_t> prepare() = 0;
  /// Takes `count` bytes just written into the room of `prepare` and delivers each complete
  /// message to `sink`, in stream order.
  virtual FrameStatus commit(std::size_t count, MessageSink& sink) = 0;
  /// Forgets buffered bytes (a new connection starts a new stream).
  virtual void reset() noexcept = 0;
};

/// Messages ended by one delimiter byte, handed over with the delimiter. A message longer than
/// `cap` bytes (delimiter included) is an overflow, so a peer that never sends the delimiter
/// cannot make the buffer grow without bound.
class DelimiterFramer final : public Framer {
 public:
  static constexpr std::size_t kInitialBuffer = 1536;
  /// The command channel's limit: 1 MiB including the carriage return.
  static constexpr std::size_t kDefaultCap = 1024 * 1024;

  explicit DelimiterFramer(char delimiter = '\r', std::size_t cap = kDefaultCap);

  std::pair<char*, std::size_t> prepare() override;
  FrameStatus commit(std::size_t count, MessageSink& sink) override;
  void reset() noexcept override;

  /// Copies `bytes` in and delivers what completes: `prepare` + `commit` for callers that
  /// already hold the bytes (tests, fuzzing).
  FrameStatus feed(std::string_view bytes, MessageSink& sink);

  /// Bytes buffered but not yet delivered.
  std::size_t pending() const noexcept { return end_ - begin_; }

 private:
  char delimiter_;
  std::size_t cap_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;    // first byte not yet delivered
  std::size_t scanned_ = 0;  // bytes before this hold no delimiter after begin_
  std::size_t end_ = 0;      // end of received bytes
};

/// Records of a 2-byte big-endian length and that many bytes, whose bodies joined form the
/// stream the link reads (the upgrade service answers this way). Each read's body bytes are
/// handed on at once as one message, record headers removed, whether or not they end a record:
/// a record split over reads or many records in one read are both just stream bytes, and
/// nothing is held back. Never overflows: a record needs no buffer of its own.
class RecordFramer final : public Framer {
 public:
  static constexpr std::size_t kBuffer = 64 * 1024;

  RecordFramer();

  std::pair<char*, std::size_t> prepare() override;
  FrameStatus commit(std::size_t count, MessageSink& sink) override;
  void reset() noexcept override;

  /// `prepare` + `commit` for callers that already hold the bytes (tests, fuzzing).
  FrameStatus feed(std::string_view bytes, MessageSink& sink);

  /// Body bytes still due in the current record (0 between records).
  std::size_t remaining() const noexcept { return remaining_; }

 private:
  std::vector<char> buffer_;
  std::size_t remaining_ = 0;  // body bytes of the current record not yet read
  unsigned headerBytes_ = 0;   // length bytes of the next record read so far (0 or 1)
  unsigned headerHigh_ = 0;    // the first length byte, when one has been read
};

}  // namespace velmora::internal
