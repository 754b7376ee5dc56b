// The query reader on real embedded databases: the existence query in both
// dialects, value reading, preparation across reopen and transaction end,
// field binding errors, parameters and the row buffer.
#include <gtest/gtest.h>

#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "datasets/DataSetFixture.h"

namespace vantrel::test {
namespace {

class QueryReader : public ::testing::Test {
protected:
    TempDir Dir;
};

TEST_F(QueryReader, ExistenceQueryCountsTheVersionTableInDialect1) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, "create table VER (ID integer not null primary key, VERSION integer);");
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);

    q->Open();
    EXPECT_TRUE(m.DB->Connected());
    EXPECT_TRUE(m.Trans->InTransaction());
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_EQ(exist->AsInteger(), 1);
    EXPECT_EQ(q->RecordCount(), 1);  // the open fetched exactly one row
    q->Close();
    EXPECT_EQ(q->State(), dsInactive);
    EXPECT_TRUE(m.Trans->InTransaction());  // closing never ends the transaction
}

TEST_F(QueryReader, ExistenceQueryIsZeroWithoutTheTable) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
    q->Open();
    EXPECT_EQ(exist->AsInteger(), 0);
    EXPECT_FALSE(exist->IsNull());
}

// COUNT(*) is a 64-bit integer in dialect 3: the integer field takes it, as
// its value fits.
TEST_F(QueryReader, Dialect3CountIsA64BitColumnThatTheIntegerFieldTakes) {
    std::string path = MakeDatabase(Dir, "d3.fdb", 3, "create table VER (ID integer not null primary key, VERSION integer);");
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
    q->Open();
    EXPECT_EQ(exist->AsInteger(), 1);
}

// A 64-bit value that no 32-bit integer holds is the type mismatch, raised
// when it is read; a column of another group is refused at the open.
TEST_F(QueryReader, A64BitValueBeyondTheIntegerFieldIsATypeMismatch) {
    std::string path = MakeDatabase(Dir, "d3.fdb", 3);
    TModuleLike m(path);
    TIntegerField *big = nullptr;
    TIBQuery *q = m.AddQuery(u"QBig", u"select cast(2147483648 as bigint) as BIG from rdb$database", u"BIG", &big);
    q->Open();
    EXPECT_EQ(MessageOf([&] { big->AsInteger(); }), "QBig: Type mismatch for field 'BIG', expecting: Integer actual: LargeInt");
    try {
        big->AsInteger();
        FAIL() << "read succeeded";
    } catch (const EIBError &) {
        FAIL() << "binding errors are general database errors";
    } catch (const EDatabaseError &) {
    }
    q->Close();

    TIntegerField *scaled = nullptr;
    TIBQuery *n = m.AddQuery(u"QScaled", u"select cast(1 as numeric(18, 2)) as N from rdb$database", u"N", &scaled);
    EXPECT_EQ(MessageOf([&] { n->Open(); }), "QScaled: Type mismatch for field 'N', expecting: Integer actual: BCD");
    // The failed open leaves the query closed; the transaction it started
    // stays active and the statement stays prepared.
    EXPECT_FALSE(n->Active());
    EXPECT_FALSE(scaled->Bound());
    EXPECT_TRUE(m.Trans->InTransaction());
    EXPECT_TRUE(n->QSelect()->Prepared());
    EXPECT_EQ(scaled->AsInteger(), 0);
}

TEST_F(QueryReader, ReadsValuesOfTheFirstRow) {
    std::string path = MakeDatabase(Dir, "d3.fdb", 3,
                                    "create table T (ID integer not null primary key, S smallint, N integer);\n"
                                    "insert into T values (1, -1234, null);");
    TModuleLike m(path);

    // An empty result opens; the field has no value.
    TIntegerField *f = nullptr;
    TIBQuery *empty = m.AddQuery(u"QEmpty", u"select ID as EXIST from T where ID < 0", u"EXIST", &f);
    empty->Open();
    EXPECT_TRUE(empty->Active());
    EXPECT_TRUE(empty->IsEmpty());
    EXPECT_TRUE(f->IsNull());
    EXPECT_EQ(f->AsInteger(), 0);

    // A 16-bit column belongs to the integer group and reads exactly.
    TIntegerField *s = nullptr;
    TIBQuery *small = m.AddQuery(u"QSmall", u"select S from T", u"S", &s);
    small->Open();
    EXPECT_EQ(small->FieldDefs()[0].DataType(), ftSmallint);
    EXPECT_EQ(s->AsInteger(), -1234);

    // NULL reads 0.
    TIntegerField *n = nullptr;
    TIBQuery *null = m.AddQuery(u"QNull", u"select N from T", u"N", &n);
    null->Open();
    EXPECT_FALSE(null->IsEmpty());
    EXPECT_TRUE(n->IsNull());
    EXPECT_EQ(n->AsInteger(), 0);
}

TEST_F(QueryReader, FieldNamesAreMatchedWithoutRegardToCaseAndMissingOnesAreReported) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *lower = m.AddQuery(u"QLower", u"select count(*) as exist from rdb$database", u"Exist", &exist);
    lower->Open();
    EXPECT_EQ(exist->AsInteger(), 1);

    TIBQuery *q = m.AddQuery(u"QVerExists", u"SELECT Count(*) as EXISTS_ FROM rdb$relations", u"EXIST");
    EXPECT_EQ(MessageOf([&] { q->Open(); }), "QVerExists: Field 'EXIST' not found");
    EXPECT_FALSE(q->Active());

    // The display label names the field when it has one.
    TIntegerField *labelled = nullptr;
    TIBQuery *q2 = m.AddQuery(u"Q2", u"SELECT 1 as A FROM rdb$database", u"B", &labelled);
    labelled->SetDisplayLabel(u"Label of B");
    EXPECT_EQ(MessageOf([&] { q2->Open(); }), "Q2: Field 'Label of B' not found");
}

TEST_F(QueryReader, ReopenExecutesAgainWithoutPreparingAndTransactionEndPreparesAgain) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, "create table VER (ID integer not null primary key);");
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
    q->Open();
    const isc_stmt_handle first = q->QSelect()->Handle();
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(q->Prepared());
    q->Close();
    EXPECT_TRUE(q->Prepared());
    EXPECT_TRUE(q->InternalPrepared());

    q->Open();
    EXPECT_EQ(q->QSelect()->Handle(), first);
    EXPECT_EQ(exist->AsInteger(), 1);

    // Ending the transaction closes the query and releases its statements.
    m.Trans->Commit();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->QSelect()->Prepared());
    EXPECT_FALSE(q->InternalPrepared());
    EXPECT_FALSE(q->Prepared());

    q->Open();  // starts the transaction again and prepares again
    EXPECT_TRUE(m.Trans->InTransaction());
    EXPECT_TRUE(q->QSelect()->Prepared());
    EXPECT_EQ(exist->AsInteger(), 1);
}

TEST_F(QueryReader, DisconnectClosesAndTheNextOpenConnectsAgain) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
    q->Open();
    m.DB->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->InternalPrepared());
    EXPECT_FALSE(m.Trans->InTransaction());

    q->Open();
    EXPECT_TRUE(m.DB->Connected());
    EXPECT_EQ(exist->AsInteger(), 0);
}

TEST_F(QueryReader, MissingLinksAndTextsAreRefused) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);

    TIBQuery orphan(nullptr);
    orphan.SQL().Add(kExistsSQL);
    EXPECT_EQ(MessageOf([&] { orphan.Open(); }), "Database not assigned");
    orphan.SetDatabase(m.DB);  // takes the connection's default transaction
    EXPECT_EQ(orphan.Transaction(), m.Trans);

    TIBQuery *blank = m.AddQuery(u"QBlank", u" ", u"");
    EXPECT_EQ(MessageOf([&] { blank->Open(); }), "Empty SQL Statement");
    EXPECT_FALSE(blank->Active());

    if (m.Trans->InTransaction()) m.Trans->Commit();
    m.Trans->SetAllowAutoStart(false);
    TIBQuery *q = m.AddQuery(u"Q", kExistsSQL, u"EXIST");
    EXPECT_EQ(MessageOf([&] { q->Open(); }), "Transaction is not active");
}

// Queries and the statements they prepare read markers the same way: the
// names a query lists are those the prepared statement asks for.
TEST_F(QueryReader, QueriesAndStatementsFindTheSameParameterNames) {
    std::string path = MakeDatabase(Dir, "d3.fdb", 3);
    TModuleLike m(path);
    m.DB->Open();
    m.Trans->StartTransaction();
    const struct {
        const char16_t *Sql;
        std::vector<String> Names;
    } cases[] = {
        {u"select 1 from rdb$database where 1 = :A and 2 = :B_2$", {u"A", u"B_2$"}},
        {u"select ':X', '?', 'a::b', 1 as \":Y\" from rdb$database where 1 = :Z", {u"Z"}},
        {u"select 1 from rdb$database /* :C ? */ where 1 = :D -- :E ?\r\n and 2 = :F", {u"D", u"F"}},
        {u"select 1 from rdb$database where 1 = :\"QUOTED NAME\"", {u"QUOTED NAME"}},
        {u"select cast(:\u0416\u0418\u0421\u041B\u041E1 as integer) from rdb$database", {u"\u0416\u0418\u0421\u041B\u041E1"}},
        {u"execute block (P integer = :P) returns (R integer) as declare V integer; begin V = :P; R = :V; "
         u"suspend; end",
         {u"P"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(StringToUtf8(c.Sql));
        TIBQuery *query = m.AddQuery(u"", c.Sql, u"");
        std::vector<String> queryNames;
        for (int i = 0; i < query->Params().Count(); ++i) queryNames.push_back(query->Params()[i].Name());
        EXPECT_EQ(queryNames, c.Names);

        TIBSQL statement(nullptr);
        statement.SetDatabase(m.DB);
        statement.SetTransaction(m.Trans);
        statement.SetSQL(c.Sql);
        std::vector<String> statementNames;
        for (int i = 0; i < statement.Params().Count(); ++i) statementNames.push_back(statement.Params()[i].Name());
        EXPECT_EQ(statementNames, c.Names);
    }
}

TEST_F(QueryReader, ParametersAreCopiedToTheSelectOnEveryOpen) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, "create table VER (ID integer not null primary key);");
    TModuleLike m(path);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"Q", u"select count(*) as EXIST from rdb$relations where rdb$relation_name = :NAME and 1 = :one",
                             u"EXIST", &exist);
    ASSERT_EQ(q->Params().Count(), 2);
    EXPECT_EQ(q->Params()[0].Name(), u"NAME");
    q->ParamByName(u"name").SetAsString(u"VER");
    q->ParamByName(u"ONE").SetAsInteger(1);
    q->Open();
    EXPECT_EQ(exist->AsInteger(), 1);
    q->Close();

    q->ParamByName(u"NAME").SetAsString(u"NOPE");
    q->Open();
    EXPECT_EQ(exist->AsInteger(), 0);
    q->Close();

    // A text change keeps the values of surviving names and unprepares.
    EXPECT_TRUE(q->Prepared());
    q->SQL().SetText(u"select count(*) as EXIST from rdb$relations where rdb$relation_name = :Name");
    EXPECT_FALSE(q->Prepared());
    ASSERT_EQ(q->Params().Count(), 1);
    EXPECT_EQ(q->Params()[0].AsString(), u"NOPE");
    q->ParamByName(u"NAME").SetAsString(u"VER");
    q->Open();
    EXPECT_EQ(exist->AsInteger(), 1);
}

TEST_F(QueryReader, RowBufferGrowsInChunks) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table T (ID integer not null primary key);\n"
                                    "insert into T values (1); insert into T values (2); insert into T values (3);\n"
                                    "insert into T values (4); insert into T values (5);");
    TModuleLike m(path);
    TIntegerField *id = nullptr;
    TIBQuery *q = m.AddQuery(u"Q", u"select ID from T order by ID", u"ID", &id);
    q->SetBufferChunks(2);
    q->Open();
    EXPECT_EQ(q->BufferCapacity(), 2);
    std::vector<int> ids{id->AsInteger()};
    while (q->Next()) ids.push_back(id->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->RecordCount(), 5);
    EXPECT_EQ(q->BufferCapacity(), 6);
    q->Close();
    EXPECT_EQ(q->BufferCapacity(), 0);
    EXPECT_EQ(id->AsInteger(), 0);

    // The default chunk holds a small result in one allocation.
    q->SetBufferChunks(0);
    EXPECT_EQ(q->BufferChunks(), 1000);
}

// A row takes the room of its values, not of what its columns could hold:
// two VARCHAR(32000) columns holding a character each cost a few bytes,
// whatever the chunk size.
TEST_F(QueryReader, RowsTakeTheRoomOfTheirValues) {
    std::string path = MakeDatabase(Dir, "wide.fdb", 3,
                                    "create table W (ID integer not null primary key, A varchar(32000), "
                                    "B varchar(32000));\n"
                                    "insert into W values (1, 'a', null);\n"
                                    "insert into W values (2, rpad('', 20000, 'x'), 'b');");
    TModuleLike m(path);
    TIntegerField *id = nullptr;
    TIBQuery *q = m.AddQuery(u"Q", u"select ID, A, B from W order by ID", u"ID", &id);
    q->Open();
    EXPECT_EQ(id->AsInteger(), 1);
    const size_t oneRow = q->RowBufferBytes();
    EXPECT_LT(oneRow, size_t{16 * 1024});  // the index of 1000 rows and one short row
    ASSERT_TRUE(q->Next());
    EXPECT_EQ(id->AsInteger(), 2);
    EXPECT_GE(q->RowBufferBytes() - oneRow, size_t{20001});
    EXPECT_LT(q->RowBufferBytes() - oneRow, size_t{20001 + 256});
    q->Close();
    EXPECT_EQ(q->RowBufferBytes(), 0u);
}

TEST_F(QueryReader, WithoutPersistentFieldsIntegerColumnsGetFieldsOfTheirOwn) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);
    TIBQuery *q = m.AddQuery(u"Q", u"select 7 as SEVEN, 'x' as T from rdb$database", u"");
    q->Open();
    ASSERT_NE(q->FindField(u"seven"), nullptr);
    EXPECT_EQ(q->FieldByName(u"SEVEN")->AsInteger(), 7);
    EXPECT_EQ(q->FindField(u"T"), nullptr);
    EXPECT_EQ(MessageOf([&] { q->FieldByName(u"T"); }), "Q: Field 'T' not found");
    q->Close();
    EXPECT_EQ(q->FindField(u"SEVEN"), nullptr);
}

}  // namespace
}  // namespace vantrel::test
