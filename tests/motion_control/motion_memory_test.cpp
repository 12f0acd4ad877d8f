// What a command costs while it waits in the queue: heap bytes per queued request against the
// length of its request text.

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "motion_control/motion_control.h"
#include "motion_control/motion_encoding.h"
#include "network/xservice/json_text.h"

using namespace velmora;
using namespace velmora::internal;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kOwnAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kOwnAllocator = true;
#else
constexpr bool kOwnAllocator = false;
#endif
#else
constexpr bool kOwnAllocator = false;
#endif

// The request as it goes out: {"c":{key:body},"id":"<id>"} and its carriage return.
std::string wireText(const char* key, const Json::Value& body, const std::string& id) {
  std::string text = "{\"c\":{\"";
  text += key;
  text += "\":";
  appendJson(text, body);
  text += "},\"id\":\"" + id + "\"}\r";
  return text;
}

struct Shape {
  const char* name;
  std::size_t commandsPerRequest;
};

}  // namespace

class QueuedMemory : public ::testing::TestWithParam<Shape> {};

TEST_P(QueuedMemory, HeapPerQueuedRequestStaysNearItsText) {
  if (kOwnAllocator) GTEST_SKIP() << "the sanitizer's allocator keeps its own books";
  // No controller: the limit of 0 keeps every request queued behind it.
  auto link = std::make_shared<XService>();
  MotionControl<1> mc(link);
  mc.setMaxCacheSize(0);
  const CartesianPosition pose{0.3, 0.1, 0.4, 3.14, 0, 0};
  const std::vector<MoveLCommand> cmds(GetParam().commandsPerRequest, MoveLCommand(pose, 100, 0));
  const Json::Value body = requestBody(cmds);
  constexpr int kRequests = 10000;
  std::vector<std::string> ids(kRequests);
  const auto before = mallinfo2().uordblks;
  for (std::string& id : ids) {
    std::error_code ec;
    mc.appendCommand(cmds, id, ec);
    ASSERT_FALSE(ec);
  }
  const auto after = mallinfo2().uordblks;
  std::size_t textBytes = 0;
  for (const std::string& id : ids) textBytes += wireText("move.l", body, id).size();
  const double heap = static_cast<double>(after - before) / kRequests;
  const double text = static_cast<double>(textBytes) / kRequests;
  std::printf("%s: %.0f heap bytes per queued request, request text %.0f bytes (%.2fx)\n", GetParam().name, heap, text,
              heap / text);
  EXPECT_LE(heap, 2.5 * text);
}

INSTANTIATE_TEST_SUITE_P(Requests, QueuedMemory,
                         ::testing::Values(Shape{"one linear move", 1}, Shape{"ten linear moves", 10}),
                         [](const auto& info) { return info.param.commandsPerRequest == 1 ? "One" : "Ten"; });
