#include "common/operation_log.h"

#include <velmora/types.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/formatters.h"
#include "common/globals.h"

using velmora::internal::kLoggedValueLimit;
using velmora::internal::logLine;

namespace {

std::string cut(char c, std::size_t total) {
  return std::string(kLoggedValueLimit, c) + "\u2026 (" + std::to_string(total) + " bytes)";
}

}  // namespace

// Each value of a line is cut on its own; numbers and short values print as fmt prints them.
TEST(OperationLog, ValuesAreCutWithTheirFullLength) {
  const std::string mebibyte(1 << 20, 'a');
  const std::string atLimit(kLoggedValueLimit, 'b');
  // A two-byte character across the limit is not split.
  const std::string accents = std::string(kLoggedValueLimit - 1, 'c') + "\xc3\xa9" + "tail";
  const char* nullText = nullptr;
  std::vector<double> many(100'000, 0.5);
  std::vector<std::string> names(1000, "name");
  velmora::CartesianPosition pose{1, 2, 3, 0, 0, 0};
  pose.confData.assign(10'000, 1);

  const std::pair<std::string, std::string> rows[] = {
      {logLine("configNtp {} ({})", mebibyte, std::error_code()), "configNtp " + cut('a', 1 << 20) + " (0)"},
      {logLine("{}", atLimit), atLimit},
      {logLine("{}|{}", atLimit + "b", "short"), cut('b', kLoggedValueLimit + 1) + "|short"},
      {logLine("{}", accents),
       std::string(kLoggedValueLimit - 1, 'c') + "\u2026 (" + std::to_string(accents.size()) + " bytes)"},
      {logLine("{}", nullText), "(null)"},
      {logLine("{} {} {} {}", 1.5, -7, true, 'x'), "1.5 -7 true x"},
      {logLine("{}", std::vector<double>{1, 2.5}), "[1, 2.5]"},
      {logLine("{}", many), fmt::format("{}", many).substr(0, kLoggedValueLimit) + "\u2026 (" +
                                std::to_string(fmt::format("{}", many).size()) + " bytes)"},
      {logLine("{}", velmora::internal::textList(names)).substr(0, 7), "[name, "},
      {logLine("uid: {} | {}", velmora::internal::logUid, std::string("x")).substr(0, 5), "uid: "},
  };
  for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);

  // Whatever the value's kind, the line stays short.
  for (const std::string& line : {logLine("{}", many), logLine("{}", velmora::internal::textList(names)),
                                  logLine("move {}", pose), logLine("{} {}", mebibyte, mebibyte)}) {
    EXPECT_LT(line.size(), 2 * kLoggedValueLimit + 100) << line.substr(0, 40);
  }
}
