#include <velmora/error.h>

#include <gmock/gmock.h>
#include <stdlib.h>

#include <optional>

#include "common/logging.h"
#include "robot_fixture.h"
#include "support/lang_guard.h"

using velmora::OperationState;

namespace {

// Sets LC_ALL for a test and restores it.
class LocaleEnv {
 public:
  explicit LocaleEnv(const char* value) {
    if (const char* old = getenv("LC_ALL")) saved_ = old;
    setenv("LC_ALL", value, 1);
  }
  ~LocaleEnv() {
    if (saved_) {
      setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace

TEST(RobotImpl, OperationStateNames) {
  const std::pair<const char*, int> table[] = {
      {"idle", 0},
      {"jog", 1},
      {"rci", 2},
      {"drag", 3},
      {"program", 4},
      {"demo", 5},
      {"dynamic_identify", 6},
      {"friction_identify", 7},
      {"load_identify", 8},
      {"debug", -1},
      {"idleing", 9},
      {"unknowning", 9},
      {"joging", 10},
      {"unknown", -1},
      {"moving", -1},
      {"IDLE", -1},
      {"", -1},
  };
  for (const auto& [name, state] : table) EXPECT_EQ(Impl::stateNameToOperationState(name), state) << name;
  EXPECT_EQ(Impl::operationStateNames().size(), 14u);
  EXPECT_EQ(Impl::operationStateNames().at("idleing"), OperationState::moving);
}

TEST(RobotImpl, ShortenUid) {
  const std::pair<const char*, const char*> table[] = {
      {"ABCDEFGHIJKLMNOP", "ABCDEFGH-MNOP"},
      {"ABCDEFGHIJKL", "ABCDEFGH-IJKL"},
      {"ABCDEFGHIJK", "ABCDEFGHIJK"},
      {"default", "default"},
      {"", ""},
  };
  for (const auto& [id, uid] : table) EXPECT_EQ(velmora::internal::shortenUid(id), uid) << id;
}

TEST(RobotImpl, ConstructionStartsNothingAndSharesTheConsoleLogger) {
  // The process-wide log flusher is not the robot's.
  velmora::internal::globalLogger();
  const int threads = threadCount();
  Impl first;
  Impl second;
  EXPECT_EQ(threadCount(), threads);
  EXPECT_FALSE(first.service->isConnected());
  EXPECT_EQ(first.connectionState.load(), 0);
  EXPECT_EQ(first.rtPort, 1337u);
  EXPECT_EQ(first.broadcastPort, 1338u);
  EXPECT_EQ(first.dragType.load(), 2);
  EXPECT_EQ(first.flangeBoxType.load(), 0);
  EXPECT_FALSE(first.motionControl);
  EXPECT_FALSE(first.receiver->isReceiving());
  ASSERT_TRUE(first.service->logger());
  EXPECT_EQ(first.service->logger()->name(), velmora::internal::kConsoleLoggerName);
  EXPECT_EQ(first.service->logger(), second.service->logger());
}

TEST(RobotImpl, ConstructionSetsTheLanguageFromTheLocale) {
  LangGuard restore(velmora::internal::useEnglish.load());
  {
    LocaleEnv chinese("zh_CN.UTF-8");
    Impl impl;
    EXPECT_EQ(velmora::internal::useEnglish.load(), 0);
  }
  {
    LocaleEnv english("en_US.UTF-8");
    Impl impl;
    EXPECT_EQ(velmora::internal::useEnglish.load(), 1);
  }
}
