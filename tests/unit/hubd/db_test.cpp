#include "hubd/db.h"

#include <gtest/gtest.h>

#include "hubd/schema.h"
#include "support/test_support.h"

namespace {

using testing_support::TempDir;

class SqliteDbTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<Db> db = open_sqlite_db(dir / "hub.db");
};

TEST_F(SqliteDbTest, BindsNumberedParametersByNumberNotPosition) {
  db->exec("CREATE TABLE t (a TEXT, b INTEGER, c TEXT)");
  EXPECT_EQ(db->exec("INSERT INTO t (b, a, c) VALUES ($2, $1, $3)", {"x", int64_t{7}, DbValue{}}),
            1);
  std::vector<DbRow> rows = db->query("SELECT a, b, c FROM t WHERE a = $1 OR a = $1", {"x"});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text(0), "x");
  EXPECT_EQ(rows[0].integer(1), 7);
  EXPECT_TRUE(rows[0].is_null(2));
  EXPECT_THROW(rows[0].integer(0), std::runtime_error);
  EXPECT_THROW(db->query("SELECT $1", {"a", "b"}), std::runtime_error) << "unused $2";
}

TEST_F(SqliteDbTest, RollsBackATransactionThatThrowsAndReportsConstraints) {
  db->exec("CREATE TABLE t (a TEXT UNIQUE)");
  db->exec("INSERT INTO t (a) VALUES ('kept')");
  EXPECT_THROW(db->transaction([&] {
    db->exec("INSERT INTO t (a) VALUES ('dropped')");
    db->exec("INSERT INTO t (a) VALUES ('kept')");
  }),
               DbConstraintError);
  EXPECT_EQ(db->query("SELECT a FROM t").size(), 1u);
}

TEST_F(SqliteDbTest, MigratesOnceAndRefusesANewerSchema) {
  migrate_schema(*db);
  migrate_schema(*db);
  EXPECT_EQ(db->query("SELECT version FROM schema_version")[0].integer(0),
            current_schema_version());
  db->exec("UPDATE schema_version SET version = $1", {int64_t{current_schema_version() + 1}});
  EXPECT_THROW(migrate_schema(*db), std::runtime_error);
}

}  // namespace
