#include "support/command_link.h"

#include <gtest/gtest.h>

std::shared_ptr<velmora::internal::XService> connectedLink(const std::string& address,
                                                           const velmora::internal::LinkOptions& options) {
  auto link = std::make_shared<velmora::internal::XService>(options);
  link->connect(address, 6666);
  std::error_code ec;
  link->start(ec);
  EXPECT_FALSE(ec) << "command link to " << address << ": " << ec.value();
  return link;
}
