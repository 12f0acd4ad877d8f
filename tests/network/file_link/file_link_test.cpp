#include <gmock/gmock.h>

#include <velmora/error.h>

#include <memory>
#include <thread>

#include "network/file_link/xtransfer.h"
#include "support/process_stats.h"
#include "support/sim_fixture.h"

using velmora::internal::makeErrorCode;
using velmora::internal::XTransfer;
using velmora_sim::Verdict;
using namespace std::chrono_literals;

namespace {

class FileLinkTest : public SimTest {
 protected:
  void SetUp() override { startLink(); }

  /// Replaces the link with a started one that waits `verdictWait` for each verdict.
  void useVerdictWait(std::chrono::milliseconds verdictWait) {
    link_->stop();
    link_ = std::make_unique<XTransfer>(verdictWait);
    startLink();
  }

  void startLink() {
    link_->connect(address(), 7777);
    std::error_code ec;
    link_->start(ec);
    ASSERT_FALSE(ec);
    ASSERT_EQ(link_->linkState, 1);
    ASSERT_TRUE(files().waitForOpenConnections(1, 2s));
  }

  std::error_code send(const std::string& bytes) {
    std::error_code ec = makeErrorCode(0);
    link_->sendAndWait(bytes.data(), bytes.size(), ec);
    return ec;
  }

  std::unique_ptr<XTransfer> link_ = std::make_unique<XTransfer>(1s);
};

std::string allByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

}  // namespace

TEST_F(FileLinkTest, EachVerdictGivesItsCode) {
  struct Case {
    const char* name;
    Verdict verdict;
    int expected;
  };
  const std::vector<Case> cases = {
      {"success", Verdict::success(), 0},
      {"error", Verdict::error(), -284},
      {"late success", Verdict::success().after(100ms), 0},
      {"link closed instead", Verdict::close(), -284},
  };
  const std::string bytes = allByteValues();
  for (const auto& c : cases) {
    if (link_->linkState != 1) {
      std::error_code ec;
      link_->start(ec);
      ASSERT_FALSE(ec) << c.name;
    }
    files().expect(bytes.size(), c.verdict);
    EXPECT_EQ(send(bytes), makeErrorCode(c.expected)) << c.name;
  }
  const auto received = files().received();
  ASSERT_EQ(received.size(), cases.size());
  for (const auto& file : received) EXPECT_EQ(file.bytes, bytes);
}

TEST_F(FileLinkTest, AnUnknownVerdictTextKeepsTheSenderWaiting) {
  files().expect(4, Verdict::text("maybe"));
  std::thread later([&] {
    ASSERT_TRUE(files().waitForFile(1, 2s));
    std::this_thread::sleep_for(50ms);
    files().latestConnection()->send(Json::Value(Json::objectValue));
    Json::Value success;
    success["f"] = "success";
    files().latestConnection()->send(success);
  });
  EXPECT_FALSE(send("abcd"));
  later.join();
}

TEST_F(FileLinkTest, AVerdictSentTheMomentTheLastByteArrivesIsNeverLost) {
  for (int i = 0; i < 200; ++i) {
    files().expect(3, Verdict::success());
    ASSERT_FALSE(send("xyz")) << i;
  }
  for (int i = 0; i < 50; ++i) {
    files().expect(3, Verdict::error());
    ASSERT_EQ(send("xyz"), makeErrorCode(-284)) << i;
  }
}

TEST_F(FileLinkTest, NoVerdictTimesOutAndALateOneNeverAnswersTheNextTransfer) {
  // One wait for both transfers: shorter than the first verdict takes, longer than the second's.
  useVerdictWait(450ms);
  files().expect(5, Verdict::success().after(700ms));
  {
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(send("first"), makeErrorCode(-285));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
  }
  EXPECT_EQ(link_->linkState, 2) << "a timed-out transfer closes the link";

  // The next transfer starts the link again; the controller judges it "error", and the late
  // "success" of the first must not be taken for its answer.
  std::error_code ec;
  link_->start(ec);
  ASSERT_FALSE(ec);
  files().expect(6, Verdict::error().after(300ms));
  EXPECT_EQ(send("second"), makeErrorCode(-284));
}

TEST_F(FileLinkTest, ALinkLostBeforeSendingFailsAtOnceWith256) {
  files().dropConnections();
  ASSERT_TRUE(waitUntil([&] { return link_->linkState == 2; }, 2s));
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(send("abc"), makeErrorCode(256));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 100ms);
  EXPECT_EQ(files().strayBytes(), 0u);
}
