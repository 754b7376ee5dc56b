// The field metadata cache: the three answers per column, one cache object
// per database name whatever its letter case, and two threads with two
// connections sharing that object.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <filesystem>
#include <thread>

#include "client/IBSchema.h"
#include "datasets/DataSetFixture.h"

namespace vantrel::test {
namespace {

const char kSchemaSQL[] =
    "create table WITH_KEY (ID integer not null, ID2 integer not null, PLAIN integer, DEF integer default 5,\n"
    "  DOM_DEF_COL integer, CALC computed by (PLAIN + 1), constraint WK primary key (ID, ID2));\n"
    "create domain DOM_DEF integer default 7;\n"
    "create table NO_KEY (PLAIN integer, DEF varchar(10) default 'x', CALC computed by (PLAIN * 2), VIA DOM_DEF);\n";

class SchemaCacheTest : public ::testing::Test {
protected:
    // The same database under two spellings that differ only in letter
    // case (the second is a link to the first).
    void SetUp() override {
        Lower = MakeDatabase(Dir, "cache.fdb", 1, kSchemaSQL);
        Upper = Dir.File("CACHE.FDB");
        std::filesystem::create_symlink(Lower, Upper);
    }
    TempDir Dir;
    std::string Lower;
    std::string Upper;
};

TEST_F(SchemaCacheTest, AnswersPerColumn) {
    TModuleLike m(Lower);
    m.DB->Open();
    TIBDatabase &db = *m.DB;
    EXPECT_TRUE(db.In_Key(u"WITH_KEY", u"ID"));
    EXPECT_TRUE(db.In_Key(u"WITH_KEY", u"ID2"));
    EXPECT_FALSE(db.Has_DEFAULT_VALUE(u"WITH_KEY", u"ID"));
    EXPECT_TRUE(db.Has_DEFAULT_VALUE(u"WITH_KEY", u"DEF"));
    EXPECT_FALSE(db.In_Key(u"WITH_KEY", u"DEF"));
    EXPECT_TRUE(db.Has_COMPUTED_BLR(u"WITH_KEY", u"CALC"));
    EXPECT_FALSE(db.Has_DEFAULT_VALUE(u"WITH_KEY", u"CALC"));
    // A plain column is absent: all three answers are false.
    EXPECT_FALSE(db.Has_COMPUTED_BLR(u"WITH_KEY", u"PLAIN"));
    EXPECT_FALSE(db.Has_DEFAULT_VALUE(u"WITH_KEY", u"PLAIN"));
    EXPECT_FALSE(db.In_Key(u"WITH_KEY", u"PLAIN"));
    // Names are compared exactly.
    EXPECT_FALSE(db.In_Key(u"WITH_KEY", u"id"));

    // Without a primary key the other answers still come.
    EXPECT_TRUE(db.Has_COMPUTED_BLR(u"NO_KEY", u"CALC"));
    EXPECT_TRUE(db.Has_DEFAULT_VALUE(u"NO_KEY", u"DEF"));
    EXPECT_TRUE(db.Has_DEFAULT_VALUE(u"NO_KEY", u"VIA"));  // the domain's default
    EXPECT_FALSE(db.In_Key(u"NO_KEY", u"PLAIN"));

    // An unknown table is cached empty.
    EXPECT_FALSE(db.In_Key(u"NOT_THERE", u"ID"));
    auto *schema = dynamic_cast<TSchema *>(db.Schema());
    ASSERT_NE(schema, nullptr);
    EXPECT_EQ(schema->RelationCount(), 3);

    // A change of definition is not seen until the nodes are freed.
    db.Close();
    RunIsql(Lower, "alter table NO_KEY add NEWDEF integer default 1;");
    db.Open();
    EXPECT_FALSE(db.Has_DEFAULT_VALUE(u"NO_KEY", u"NEWDEF"));
    db.FlushSchema();
    EXPECT_EQ(schema->RelationCount(), 0);
    EXPECT_TRUE(db.Has_DEFAULT_VALUE(u"NO_KEY", u"NEWDEF"));
}

TEST_F(SchemaCacheTest, OneCacheObjectPerNameWhateverTheLetterCase) {
    TModuleLike a(Lower);
    TModuleLike b(Upper);
    a.DB->Open();
    b.DB->Open();
    ASSERT_NE(a.DB->Schema(), nullptr);
    EXPECT_EQ(a.DB->Schema(), b.DB->Schema());
    EXPECT_EQ(SchemaCache::GetOrCreate(Utf8ToString(Lower)), a.DB->Schema());

    // The object outlives its connections.
    TIBSchema *before = a.DB->Schema();
    a.Owner.reset();
    b.Owner.reset();
    TModuleLike c(Upper);
    c.DB->Open();
    EXPECT_EQ(c.DB->Schema(), before);

    // Another name, another object.
    std::string other = MakeDatabase(Dir, "other.fdb", 1);
    TModuleLike d(other);
    d.DB->Open();
    EXPECT_NE(d.DB->Schema(), before);
}

// Two threads, each with its own connection to the same database (one
// spelling each), ask questions at the same time, several rounds, with the
// nodes freed between rounds so that loads race as well as lookups.
TEST_F(SchemaCacheTest, TwoThreadsOnTwoConnectionsShareOneCacheSafely) {
    // The client library is loaded before the threads start.
    { TModuleLike warm(Lower); warm.DB->Open(); }

    constexpr int kRounds = 6;
    std::barrier sync(2);
    std::atomic<int> wrong{0};
    std::atomic<TIBSchema *> seen[2] = {nullptr, nullptr};

    auto worker = [&](int index, std::string path) {
        TModuleLike m(path);
        sync.arrive_and_wait();
        m.DB->Open();
        seen[index] = m.DB->Schema();
        for (int round = 0; round < kRounds; ++round) {
            sync.arrive_and_wait();
            bool ok = m.DB->In_Key(u"WITH_KEY", u"ID") && m.DB->In_Key(u"WITH_KEY", u"ID2") &&
                      m.DB->Has_DEFAULT_VALUE(u"WITH_KEY", u"DEF") && m.DB->Has_COMPUTED_BLR(u"WITH_KEY", u"CALC") &&
                      !m.DB->Has_DEFAULT_VALUE(u"WITH_KEY", u"PLAIN") && m.DB->Has_COMPUTED_BLR(u"NO_KEY", u"CALC") &&
                      m.DB->Has_DEFAULT_VALUE(u"NO_KEY", u"VIA") && !m.DB->In_Key(u"NO_KEY", u"PLAIN");
            if (!ok) ++wrong;
            sync.arrive_and_wait();
            if (index == 0) m.DB->FlushSchema();
        }
        m.DB->Close();
    };
    std::thread first(worker, 0, Lower);
    std::thread second(worker, 1, Upper);
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
    ASSERT_NE(seen[0].load(), nullptr);
    EXPECT_EQ(seen[0].load(), seen[1].load());
}

}  // namespace
}  // namespace vantrel::test
