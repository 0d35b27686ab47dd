#include "hubd/accounts.h"

#include <gtest/gtest.h>

#include "hubd/crypto.h"
#include "hubd/db.h"
#include "hubd/schema.h"
#include "support/test_support.h"

namespace {

TEST(Passwords, VerifyOnlyThePasswordTheyWereHashedFrom) {
  const std::string stored = hash_password("correct horse");
  EXPECT_TRUE(verify_password("correct horse", stored));
  EXPECT_FALSE(verify_password("correct horsE", stored));
  for (const char* damaged : {"", "scrypt$1$8$1$00$00", "scrypt$32768$8$1$zz$00",
                              "pbkdf2$1$1$1$00$00", "scrypt$99999999999$8$1$00$00"}) {
    EXPECT_FALSE(verify_password("x", damaged)) << damaged;
  }
}

TEST(Tokens, AreStoredOnlyAsTheirDigest) {
  testing_support::TempDir dir;
  std::unique_ptr<Db> db = open_sqlite_db(dir / "hub.db");
  migrate_schema(*db);
  User alice = add_user(*db, "Alice", "pw");
  const std::string token = create_token(*db, alice);
  EXPECT_EQ(user_for_token(*db, token)->name, "Alice");
  EXPECT_FALSE(user_for_token(*db, token + "x"));
  EXPECT_FALSE(user_for_token(*db, ""));
  EXPECT_EQ(db->query("SELECT token_hash FROM tokens")[0].text(0), sha256_digest_hex(token));
  EXPECT_EQ(find_user(*db, "ALICE")->id, alice.id);
}

TEST(Names, FollowTheRulesOfTheUrl) {
  for (const std::string& good :
       std::vector<std::string>{"alice", "A-1", "a_b", std::string(39, 'a')}) {
    EXPECT_TRUE(is_valid_user_name(good)) << good;
  }
  for (const std::string& bad :
       std::vector<std::string>{"", "-a", "_a", "a.b", "a/b", "a b", std::string(40, 'a')}) {
    EXPECT_FALSE(is_valid_user_name(bad)) << bad;
  }
  for (const char* good : {"site", "my.site", "a-b_c", "orrery"}) {
    EXPECT_TRUE(is_valid_repo_name(good)) << good;
  }
  for (const char* bad : {"", ".git", "..", "a.orrery", "a.ORRERY", "a/b", "a%2f"}) {
    EXPECT_FALSE(is_valid_repo_name(bad)) << bad;
  }
}

}  // namespace
