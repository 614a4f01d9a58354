// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/cppsqlite3.h"
#include "storage/statement.h"
#include "tempdatabase.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>

#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string encode(const std::vector<unsigned char>& bytes)
{
    CppSQLite3Binary binary;
    binary.SetBinary(bytes.data(), static_cast<int>(bytes.size()));
    std::string text = binary.GetEncoded();
    EXPECT_EQ(static_cast<int>(text.size()), binary.encodedLength());
    return text;
}

std::vector<unsigned char> decode(const std::string& text)
{
    CppSQLite3Binary binary;
    binary.SetEncoded(text.c_str());
    int length = binary.GetBinaryLength();
    const unsigned char* bytes = binary.GetBinary();
    return std::vector<unsigned char>(bytes, bytes + length);
}

template <class F>
std::string failureOf(F&& action)
{
    try {
        action();
    } catch (const CppSQLite3Exception& e) {
        EXPECT_STREQ(e.what(), e.ErrorMessage());
        return e.ErrorMessage();
    }
    return "no error";
}

}  // namespace

TEST(CppSQLite3Exception, FormatsCodeNameCodeAndDetail)
{
    EXPECT_STREQ(CppSQLite3Exception(14, "unable to open database file", false).ErrorMessage(),
                 "SQLITE_CANTOPEN[14]: unable to open database file");
    EXPECT_STREQ(CppSQLite3Exception(1000, "Database not open", false).ErrorMessage(),
                 "CPPSQLITE_ERROR[1000]: Database not open");
    EXPECT_STREQ(CppSQLite3Exception(101, nullptr, false).ErrorMessage(), "SQLITE_DONE[101]: ");
    EXPECT_STREQ(CppSQLite3Exception(26, "x", false).ErrorMessage(), "UNKNOWN_ERROR[26]: x");
    EXPECT_STREQ(CppSQLite3Exception(-1, "x", false).ErrorMessage(), "UNKNOWN_ERROR[-1]: x");
    EXPECT_EQ(CppSQLite3Exception(25, "", false).ErrorCode(), 25);
}

TEST(CppSQLite3Exception, CodeNameTableIsComplete)
{
    const char* names[] = {
        "SQLITE_OK",       "SQLITE_ERROR",      "SQLITE_INTERNAL", "SQLITE_PERM",      "SQLITE_ABORT", "SQLITE_BUSY",
        "SQLITE_LOCKED",   "SQLITE_NOMEM",      "SQLITE_READONLY", "SQLITE_INTERRUPT", "SQLITE_IOERR", "SQLITE_CORRUPT",
        "SQLITE_NOTFOUND", "SQLITE_FULL",       "SQLITE_CANTOPEN", "SQLITE_PROTOCOL",  "SQLITE_EMPTY", "SQLITE_SCHEMA",
        "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT", "SQLITE_MISMATCH", "SQLITE_MISUSE",    "SQLITE_NOLFS", "SQLITE_AUTH",
        "SQLITE_FORMAT",   "SQLITE_RANGE"};
    for (int code = 0; code <= 25; ++code)
        EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(code), names[code]) << code;
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(100), "SQLITE_ROW");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(1000), "CPPSQLITE_ERROR");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(99), "UNKNOWN_ERROR");
}

TEST(CppSQLite3Exception, TakesOverSQLiteAllocatedDetailAndCopiesIndependently)
{
    char* detail = sqlite3_mprintf("%s", "allocated by SQLite");
    auto original = std::make_unique<CppSQLite3Exception>(5, detail, true);
    CppSQLite3Exception copy(*original);
    original.reset();
    EXPECT_STREQ(copy.ErrorMessage(), "SQLITE_BUSY[5]: allocated by SQLite");
    EXPECT_EQ(copy.ErrorCode(), 5);
    CppSQLite3Exception assigned(1, "other", false);
    assigned = copy;
    EXPECT_STREQ(assigned.what(), "SQLITE_BUSY[5]: allocated by SQLite");
}

TEST(CppSQLite3Binary, EncodesTheReferenceVectors)
{
    EXPECT_EQ(encode({}), "x");
    EXPECT_EQ(encode({0x00}), "\x01\xFF");
    EXPECT_EQ(encode({'a', 'b', 'c'}), "\x01\x60\x61\x62");
}

TEST(CppSQLite3Binary, EveryByteValueNeedsThreeEscapesAndRoundTrips)
{
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    std::string text = encode(all);
    EXPECT_EQ(text.size(), 260u);
    EXPECT_EQ(text[0], '\x01');
    EXPECT_EQ(text.find('\''), std::string::npos);
    EXPECT_EQ(decode(text), all);
}

TEST(CppSQLite3Binary, ThousandApostrophesNeedNoEscape)
{
    std::vector<unsigned char> quotes(1000, '\'');
    std::string text = encode(quotes);
    EXPECT_EQ(text.size(), 1001u);
    EXPECT_EQ(text.find('\''), std::string::npos);
    EXPECT_EQ(decode(text), quotes);
}

TEST(CppSQLite3Binary, RandomBuffersRoundTripWithinTheAllocatedSize)
{
    std::mt19937 random(12345);
    for (int length : {1, 2, 3, 39, 254, 255, 1000, 65537}) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random() % 4);  // few values, so escapes are unavoidable
        std::string text = encode(bytes);
        EXPECT_LE(text.size() + 1, 3 + 257 * bytes.size() / 254) << length;
        EXPECT_EQ(text.find('\''), std::string::npos);
        EXPECT_EQ(decode(text), bytes) << length;
    }
}

TEST(CppSQLite3Binary, MalformedEscapesRaiseCannotDecode)
{
    const char* expected = "CPPSQLITE_ERROR[1000]: Cannot decode binary";
    EXPECT_EQ(failureOf([] {
                  decode("\x05"
                         "ab\x01\x04"
                         "cd");
              }),
              expected);
    EXPECT_EQ(failureOf([] {
                  decode("\x05"
                         "ab\x01");
              }),
              expected);
    EXPECT_EQ(decode("x"), std::vector<unsigned char>{});
    EXPECT_EQ(decode(""), std::vector<unsigned char>{});
}

class CppSQLite3DBTest : public ::testing::Test {
protected:
    void SetUp() override { db.Open(folder.path("layer.db").c_str()); }

    TempFolder folder;
    CppSQLite3DB db;
};

TEST_F(CppSQLite3DBTest, EveryOperationWithoutConnectionRaisesDatabaseNotOpen)
{
    CppSQLite3DB closed;
    EXPECT_FALSE(closed.IsOpen());
    const std::string expected = "CPPSQLITE_ERROR[1000]: Database not open";
    EXPECT_EQ(failureOf([&] { closed.ExecuteStatement("create table t (a);"); }), expected);
    EXPECT_EQ(failureOf([&] { closed.ExecuteQuery("select 1"); }), expected);
    EXPECT_EQ(failureOf([&] { closed.ExecuteScalar("select 1"); }), expected);
    EXPECT_EQ(failureOf([&] { closed.TableExists("t"); }), expected);
    closed.Close();
    closed.Close();
}

TEST_F(CppSQLite3DBTest, TableExistsAndScalarQueries)
{
    EXPECT_FALSE(db.TableExists("t"));
    EXPECT_EQ(db.ExecuteStatement("create table t (guid text, n int);"), 0);
    EXPECT_TRUE(db.TableExists("t"));
    EXPECT_FALSE(db.TableExists("it's"));
    EXPECT_EQ(db.ExecuteScalar("select count(*) from t"), 0);
    EXPECT_EQ(db.ExecuteStatement("insert into t values('a',1);insert into t values('b',2);"), 1);
    EXPECT_EQ(db.ExecuteStatement("update t set n=n+1;"), 2);
    EXPECT_EQ(db.ExecuteScalar("select sum(n) from t"), 5);
    EXPECT_EQ(failureOf([&] { db.ExecuteScalar("select n from t where guid='none'"); }),
              "CPPSQLITE_ERROR[1000]: Invalid scalar query");
}

TEST_F(CppSQLite3DBTest, QueryReadsFieldsByExactNameAndIndex)
{
    db.ExecuteStatement("create table t (guid text, n int);insert into t values('a',1);insert into t values(NULL,2);");
    CppSQLite3Query query = db.ExecuteQuery("select * from t order by n");
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldCount(), 2);
    EXPECT_EQ(query.FieldIndex("n"), 1);
    EXPECT_STREQ(query.FieldValue("guid"), "a");
    EXPECT_STREQ(query.FieldValue(1), "1");
    EXPECT_EQ(failureOf([&] { query.FieldValue("GUID"); }), "CPPSQLITE_ERROR[1000]: Invalid field name requested");
    EXPECT_EQ(failureOf([&] { query.FieldIndex(nullptr); }), "CPPSQLITE_ERROR[1000]: Invalid field name requested");
    EXPECT_EQ(failureOf([&] { query.FieldValue(2); }), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    EXPECT_EQ(failureOf([&] { query.FieldValue(-1); }), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
    query.NextRow();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldValue("guid"), nullptr);
    EXPECT_EQ(query.fieldText("guid"), "");
    EXPECT_EQ(query.fieldInt("n"), 2);
    query.NextRow();
    EXPECT_TRUE(query.Eof());
    EXPECT_TRUE(db.ExecuteQuery("select * from t where guid='zzz'").Eof());
}

TEST_F(CppSQLite3DBTest, MovedQueryLeavesTheSourceWithoutStatement)
{
    db.ExecuteStatement("create table t (n int);insert into t values(7);insert into t values(8);");
    CppSQLite3Query first = db.ExecuteQuery("select n from t order by n");
    CppSQLite3Query second = std::move(first);
    EXPECT_EQ(failureOf([&] { first.Eof(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(failureOf([&] { first.NextRow(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    first.Finalize();
    EXPECT_STREQ(second.FieldValue(0), "7");
    second = db.ExecuteQuery("select n from t order by n desc");
    EXPECT_STREQ(second.FieldValue(0), "8");
    second.Finalize();
    EXPECT_EQ(failureOf([&] { second.FieldCount(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(failureOf([&] { CppSQLite3Query().Eof(); }), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(CppSQLite3DBTest, SQLiteFailuresCarryItsCodeAndText)
{
    db.ExecuteStatement("create table t (name text);");
    CppSQLite3Exception caught(0, nullptr, false);
    try {
        db.ExecuteStatement("insert into t values('Bob's notes.txt');");
    } catch (const CppSQLite3Exception& e) {
        caught = e;
    }
    EXPECT_EQ(caught.ErrorCode(), 1);
    EXPECT_STREQ(caught.ErrorMessage(), "SQLITE_ERROR[1]: near \"s\": syntax error");
    EXPECT_EQ(failureOf([&] { db.ExecuteQuery("select * from missing_table"); }),
              "SQLITE_ERROR[1]: no such table: missing_table");
    // A failure at the first step carries SQLite's text.
    EXPECT_EQ(failureOf([&] { db.ExecuteQuery("select abs(-9223372036854775807 - 1)"); }),
              "SQLITE_ERROR[1]: integer overflow");
    EXPECT_EQ(db.ExecuteScalar("select count(*) from t"), 0);
}

TEST(CppSQLite3DBOpen, MissingFolderGivesCantOpen)
{
    TempFolder folder;
    CppSQLite3DB db;
    EXPECT_EQ(failureOf([&] { db.Open(folder.path("no/such/folder/x.db").c_str()); }),
              "SQLITE_CANTOPEN[14]: unable to open database file");
}

TEST(CppSQLite3DBOpen, FileThatIsNotADatabaseFailsAtTheFirstStatement)
{
    TempFolder folder;
    std::string path = folder.path("notes.txt");
    std::ofstream(path) << "This is plain text, long enough to fill a database header or more than that.\n";
    CppSQLite3DB db;
    db.Open(path.c_str());
    EXPECT_EQ(failureOf([&] { db.TableExists("category_table"); }), "UNKNOWN_ERROR[26]: file is not a database");
}

TEST(CppSQLite3DBOpen, ReadOnlyFileRefusesWrites)
{
    TempFolder folder;
    std::string path = folder.path("ro.db");
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        db.ExecuteStatement("create table t (a);");
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    // The superuser writes read-only files anyway; a read-only connection refuses the same way.
    std::string name = geteuid() == 0 ? "file:" + path + "?mode=ro" : path;
    CppSQLite3DB db;
    db.Open(name.c_str());
    EXPECT_TRUE(db.TableExists("t"));
    EXPECT_EQ(failureOf([&] { db.ExecuteStatement("insert into t values(1);"); }),
              "SQLITE_READONLY[8]: attempt to write a readonly database");
}

TEST(CppSQLite3DBOpen, OpenReadOnlyReadsButNeverWritesOrCreates)
{
    TempFolder folder;
    std::string path = folder.path("other.db");
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        db.ExecuteStatement("create table t (a); insert into t values (7);");
    }
    CppSQLite3DB db;
    db.OpenReadOnly(path.c_str());
    EXPECT_EQ(db.ExecuteScalar("select a from t"), 7);
    EXPECT_EQ(failureOf([&] { db.ExecuteStatement("insert into t values (8);"); }),
              "SQLITE_READONLY[8]: attempt to write a readonly database");
    db.Close();

    std::string missing = folder.path("missing.db");
    EXPECT_EQ(failureOf([&] { db.OpenReadOnly(missing.c_str()); }),
              "SQLITE_CANTOPEN[14]: unable to open database file");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(CppSQLite3DBOpen, QueryOutlivingCloseIsStillFinalizedSafely)
{
    TempFolder folder;
    CppSQLite3Query survivor;
    {
        CppSQLite3DB db;
        db.Open(folder.path("x.db").c_str());
        survivor = db.ExecuteQuery("select 1 union select 2");
        db.Close();
        EXPECT_FALSE(db.IsOpen());
    }
    EXPECT_STREQ(survivor.FieldValue(0), "1");
}

TEST(CppSQLite3Buffer, FormatsWithSQLiteQuoting)
{
    CppSQLite3Buffer sql;
    EXPECT_STREQ(sql.Format("select '%q', %Q, %Q, %d", "Bob's", "it's", nullptr, 42),
                 "select 'Bob''s', 'it''s', NULL, 42");
    EXPECT_STREQ(static_cast<const char*>(sql), "select 'Bob''s', 'it''s', NULL, 42");
    sql.Format("%s", "second");
    EXPECT_STREQ(sql, "second");
}

TEST(CppSQLite3DBBusy, AStatementWaitsOutTheTimeoutCallingTheWaitThenSaysBusy)
{
    TempFolder folder;
    const std::string path = folder.path("locked.db");
    CppSQLite3DB holder;
    holder.Open(path.c_str());
    holder.ExecuteStatement("create table t (x); begin exclusive; insert into t values (1);");

    CppSQLite3DB db;
    db.Open(path.c_str());
    db.SetBusyTimeout(200);
    int waits = 0;
    db.SetBusyWait([&waits] { ++waits; });
    const auto started = std::chrono::steady_clock::now();
    try {
        db.ExecuteStatement("insert into t values (2);");
        FAIL() << "a locked database took the write";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_STREQ(e.ErrorMessage(), "SQLITE_BUSY[5]: database is locked");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    EXPECT_GE(waits, 3);

    holder.ExecuteStatement("commit;");
    db.ExecuteStatement("insert into t values (3);");
    EXPECT_EQ(db.ExecuteScalar("select count(*) from t"), 2);
}

// Catches values cut at a NUL or mangled by quoting, and a statement left unusable after a failure.
TEST_F(CppSQLite3DBTest, StatementBindsAnyBytesAndRunsAgainAfterAFailure)
{
    db.ExecuteStatement("create table t (id integer primary key, body text unique, n int);");
    const char text[] = "it's\0 \"quoted\" é";
    const std::string body(text, sizeof text - 1);
    Statement insert(db, "insert into t (body, n) values (?1, ?2);");
    EXPECT_EQ(insert.bind(1, body).bind(2, 1LL << 40).execute(), 1);
    EXPECT_NE(failureOf([&] { insert.bind(1, body).bindNull(2).execute(); }).find("UNIQUE constraint failed"),
              std::string::npos);
    EXPECT_EQ(insert.bind(1, "second").bind(2, 2).execute(), 1);

    Statement select(db, "select body, n from t order by id;");
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.text(0), body);
    EXPECT_EQ(select.integer(1), 1LL << 40);
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.text(0), "second");
    EXPECT_FALSE(select.step());
    EXPECT_NE(failureOf([&] { Statement(db, "select missing from nowhere;"); }).find("no such table"),
              std::string::npos);
}
