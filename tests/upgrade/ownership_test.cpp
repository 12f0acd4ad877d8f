#include <gmock/gmock.h>
#include <velmora/exception.h>
#include <velmora/upgrade.h>

#include <fstream>
#include <memory>
#include <vector>

#include "support/process_stats.h"
#include "upgrade/upgrade_fixture.h"

using velmora::BaseUpgrade;
using namespace std::chrono_literals;

namespace {

int upgradeCode(BaseUpgrade& client, const std::string& file) {
  std::error_code ec;
  client.upgrade(file, ec);
  return ec.value();
}

}  // namespace

TEST_F(UpgradeTest, CopiesKeepOnlyTheAddressAndMovesHandTheLinkOver) {
  std::ofstream(path("p")) << "package";
  const std::string p = path("p");
  std::error_code ec;
  {
    BaseUpgrade a(address());
    BaseUpgrade b(a);
    EXPECT_EQ(upgradeCode(b, p), 256) << "a copy is not connected";
    b.connect(ec);
    EXPECT_EQ(ec.value(), 0) << "but it knows the address";
    BaseUpgrade c;
    c = a;
    c.connect(ec);
    EXPECT_EQ(ec.value(), 0);
    ASSERT_TRUE(service().waitForOpenConnections(3, 2s));
    c = b;  // drops c's own link
    EXPECT_TRUE(service().waitForOpenConnections(2, 2s));
    EXPECT_EQ(upgradeCode(c, p), 256);

    BaseUpgrade d(std::move(a));
    EXPECT_EQ(upgradeCode(d, p), 0) << "the moved link keeps working";
    EXPECT_EQ(upgradeCode(a, p), 255);
    a.connect(ec);
    EXPECT_EQ(ec.value(), 255);
    EXPECT_THROW(a.connect(address()), velmora::NetworkException);
    BaseUpgrade fromEmpty(a);
    EXPECT_EQ(upgradeCode(fromEmpty, p), 255);

    a = d;  // a moved-from object takes a copy again
    a.connect(ec);
    EXPECT_EQ(ec.value(), 0);
    const BaseUpgrade& same = a;
    a = same;
    EXPECT_EQ(upgradeCode(a, p), 0) << "self-assignment keeps the link";
    d = std::move(b);  // d's link closes, b's moves in
    EXPECT_EQ(upgradeCode(d, p), 0);
    b = std::move(d);
    EXPECT_EQ(upgradeCode(b, p), 0);
    EXPECT_EQ(service().acceptCount(), 4);
  }
  EXPECT_TRUE(service().waitForOpenConnections(0, 2s)) << "every link closes with its owner";
}

TEST_F(UpgradeTest, IdleObjectsHoldNoBackupSizedBuffer) {
  const long before = residentKiB();
  const int threads = threadCount();
  std::vector<std::unique_ptr<BaseUpgrade>> clients;
  for (int i = 0; i < 50; ++i) clients.push_back(std::make_unique<BaseUpgrade>());
  EXPECT_LT(residentKiB() - before, 100 * 1024);
  EXPECT_EQ(threadCount(), threads) << "no thread until connected";
}
