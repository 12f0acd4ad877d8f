#pragma once
// The private part of `BaseEthercat`: the object's own command link, and the readers of the
// bus replies. Replies are read with kind checks: a bare code becomes the operation's code and
// any shape the operation cannot use gives 257, so no reply can throw out of an operation.

#include <json/value.h>
#include <velmora/ethercat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace velmora {

class VELMORA_LOCAL BaseEthercat::Impl {
 public:
  explicit Impl(std::shared_ptr<internal::XService> ownLink) : link(std::move(ownLink)) {}
  /// The link is this object's alone: stopping it here ends its I/O threads.
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  /// One "c" request on the own link, waiting the link's request wait (10 s); false when the link
  /// failed (256, 257 or 263 in `ec`).
  bool request(const char* key, const Json::Value& value, Json::Value& reply,
               std::error_code& ec) const;

  std::shared_ptr<internal::XService> link;
};

namespace internal {

/// The controller's command port, where the object opens its own link.
constexpr int kEthercatCommandPort = 6666;
/// Largest byte count a write sends; a larger count would build a JSON array of that size.
constexpr int kMaxWriteBytes = 1 << 20;
/// Bytes an `SDOData` item holds.
constexpr int kSdoItemBytes = 50;

/// One entry of the "ethercat.get_slaves_state" list.
struct SlaveStateEntry {
  int addr = 0;
  std::uint16_t state = 0;
};

/// The state list of a reply; a reply without "data" is an empty list, an entry without "addr"
/// or "state" reads 0 there. False with `ec` set for a bare code (257 for 0) and for a list
/// that cannot be read (an entry that is no object, a member that is no integer).
bool readStateList(const Json::Value& reply, std::vector<SlaveStateEntry>& out,
                   std::error_code& ec);

/// The identity fields of an "ethercat.get_slave_info" reply's "data" object (missing members
/// read as 0 or ""); false with `ec` set for a bare code (257 for 0), no "data" object or a
/// member of a kind that is not an integer (or has no text, for the name). `out` is untouched
/// then.
bool readSlaveInfo(const Json::Value& reply, SlaveInfo& out, std::error_code& ec);

/// Copies at most `capacity` bytes of the reply's "data" array, in order, each the low 8 bits of
/// its integer. False with `ec` set for a bare code (257 for 0), no "data" array or an element
/// that is not an integer; nothing is written then.
bool readByteData(const Json::Value& reply, std::uint8_t* out, int capacity, std::error_code& ec);

/// `count` bytes as JSON integers (none for a count <= 0).
Json::Value byteArray(const std::uint8_t* data, int count);

/// The verdict of a write after a successful request: a bare -1 is false with `ec` clear, a
/// bare negative code is false with that code, anything else is true.
bool writeVerdict(const Json::Value& reply, std::error_code& ec);

}  // namespace internal
}  // namespace velmora
