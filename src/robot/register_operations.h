#pragma once
// The reader of the register query's reply: it takes the controller's untrusted answer, so it
// is reachable on its own, apart from the link.

#include <json/value.h>

#include <string>
#include <system_error>

namespace velmora::internal {

/// The reply of g "register.values" {key: null}: true with `values` = the reply's member `key`
/// when the reply is an object holding it not null; otherwise false, `values` null and `ec`
/// the reply's integer (-1 becoming -17001; 0 stays 0) or -260 for any other reply.
bool readRegisterReply(const Json::Value& reply, const std::string& key, Json::Value& values, std::error_code& ec);

}  // namespace velmora::internal
