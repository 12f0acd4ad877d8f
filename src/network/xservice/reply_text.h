#pragma once
// Reading a reply's text without building it: whoever reads the command link finds which
// request a reply answers from its text alone, and hands the text to that request's thread,
// which parses it there. Everything else takes the full parse on the link's I/O thread.

#include <json/value.h>

#include <cstdint>
#include <string_view>

namespace velmora::internal {

/// True when `text` (without its carriage return) is certainly a reply to request `id`: well
/// formed JSON whose top level is an object of at least two members, no "n" member, and an
/// "id" member written as a plain unsigned integer. Anything unusual (escapes in a member name,
/// a repeated "id", comments, deep nesting, text after the object) gives false, so such a
/// message takes the full parse and is routed exactly as any other message.
bool replyIdOf(std::string_view text, std::uint64_t& id) noexcept;

/// Builds `out` from `text` when it is a plain object: objects and arrays of them, integers of
/// at most 18 digits, strings of printable ASCII without escapes, true, false and null, spaces
/// between tokens, nothing after the object and no member name twice. The result is the value
/// `makeMessageReader` builds from the same text. Anything else gives false, with `out`
/// unspecified: such a text takes the full parse.
bool buildPlainObject(std::string_view text, Json::Value& out);

/// For a reply to request `id` (as `replyIdOf` tells it) whose member `form` is an object
/// giving `key` once: builds only that value into `out`, as `buildPlainObject` would build it,
/// and skips the rest unbuilt. False, with `out` unspecified, for anything else (another id, no
/// such value, a value or member name `buildPlainObject` would refuse): the full parse decides.
bool buildReplyValue(std::string_view text, std::uint64_t id, std::string_view form, std::string_view key,
                     Json::Value& out);

}  // namespace velmora::internal
