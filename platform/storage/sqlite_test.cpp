#include "platform/storage/sqlite.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::platform::sqlite {
namespace {

class InMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(connection_.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
  }

  Connection connection_;
};

// Counts from 1 to `last` and then fails with an integer overflow.
constexpr const char* kRowsThenFailure =
    "WITH RECURSIVE n (x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 3)"
    " SELECT CASE WHEN x < 3 THEN x ELSE abs(-9223372036854775807 - 1) END FROM n";

TEST_F(InMemory, BindAllBindsIntegersTextAndBlobsToParametersInOrder) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(
      connection_,
      "SELECT typeof(?1), ?1, typeof(?2), ?2, typeof(?3), ?3, typeof(?4), length(?4), ?5"));
  const std::vector<std::uint8_t> bytes = {0x00, 0x7F, 0xFF};
  const std::vector<std::uint8_t> none;
  const std::string text = "from a string";
  ASSERT_FALSE(statement.BindAll(std::int64_t{-42}, "caf\xC3\xA9", bytes, none, text));

  bool hasRow = false;
  ASSERT_FALSE(statement.Step(hasRow));
  ASSERT_TRUE(hasRow);
  EXPECT_EQ(statement.ColumnText(0), "integer");
  EXPECT_EQ(statement.ColumnInt64(1), -42);
  EXPECT_EQ(statement.ColumnText(2), "text");
  EXPECT_EQ(statement.ColumnText(3), "caf\xC3\xA9");
  EXPECT_EQ(statement.ColumnText(4), "blob");
  EXPECT_EQ(statement.ColumnBlob(5), bytes);
  // An empty byte span is an empty blob, not NULL.
  EXPECT_EQ(statement.ColumnText(6), "blob");
  EXPECT_EQ(statement.ColumnInt64(7), 0);
  EXPECT_EQ(statement.ColumnText(8), text);
}

TEST_F(InMemory, BindAllReportsTheFirstFailureAndBindsNothingAfterIt) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, "SELECT ?1, ?3"));
  // No text or blob longer than 4 bytes fits now, so binding ?2 fails...
  sqlite3_limit(connection_.get(), SQLITE_LIMIT_LENGTH, 4);
  EXPECT_EQ(statement.BindAll(std::int64_t{1}, "too long", std::int64_t{3}),
            MakeError(SQLITE_TOOBIG));

  bool hasRow = false;
  ASSERT_FALSE(statement.Step(hasRow));
  ASSERT_TRUE(hasRow);
  // ...and the value meant for ?3, after it, was never bound.
  EXPECT_EQ(statement.ColumnInt64(0), 1);
  EXPECT_TRUE(statement.ColumnIsNull(1));
}

TEST_F(InMemory, BindAllReportsAParameterBeyondTheStatements) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, "SELECT ?1"));
  EXPECT_EQ(statement.BindAll(std::int64_t{1}, std::int64_t{2}), MakeError(SQLITE_RANGE));
}

TEST_F(InMemory, BindAllAfterResetReplacesTheEarlierValues) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, "SELECT ?1 || ?2"));
  ASSERT_FALSE(statement.BindAll("a", "b"));
  ASSERT_FALSE(statement.Run());
  statement.Reset();
  ASSERT_FALSE(statement.BindAll("c", "d"));
  bool hasRow = false;
  ASSERT_FALSE(statement.Step(hasRow));
  ASSERT_TRUE(hasRow);
  EXPECT_EQ(statement.ColumnText(0), "cd");
}

TEST_F(InMemory, ForEachRowVisitsEveryRowInOrder) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, "SELECT 5 UNION ALL SELECT 6 UNION ALL SELECT 7"));
  std::vector<std::int64_t> seen;
  EXPECT_FALSE(statement.ForEachRow([&] { seen.push_back(statement.ColumnInt64(0)); }));
  EXPECT_EQ(seen, (std::vector<std::int64_t>{5, 6, 7}));
}

TEST_F(InMemory, ForEachRowWithoutRowsNeverCallsTheVisitor) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, "SELECT 1 WHERE 0"));
  int calls = 0;
  EXPECT_FALSE(statement.ForEachRow([&] { ++calls; }));
  EXPECT_EQ(calls, 0);
}

TEST_F(InMemory, ForEachRowStopsWithoutErrorWhenTheVisitorSaysSo) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, kRowsThenFailure));
  std::vector<std::int64_t> seen;
  EXPECT_FALSE(statement.ForEachRow([&] {
    seen.push_back(statement.ColumnInt64(0));
    return false;
  }));
  EXPECT_EQ(seen, (std::vector<std::int64_t>{1}));
  // The statement was left on that row: the next step gives the second one.
  bool hasRow = false;
  ASSERT_FALSE(statement.Step(hasRow));
  ASSERT_TRUE(hasRow);
  EXPECT_EQ(statement.ColumnInt64(0), 2);
}

TEST_F(InMemory, ForEachRowReturnsTheFirstStepFailure) {
  Statement statement;
  ASSERT_FALSE(statement.Prepare(connection_, kRowsThenFailure));
  std::vector<std::int64_t> seen;
  EXPECT_EQ(statement.ForEachRow([&] {
    seen.push_back(statement.ColumnInt64(0));
    return true;
  }),
            MakeError(SQLITE_ERROR));
  EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2}));
}

}  // namespace
}  // namespace quorvel::platform::sqlite
