// The table reader on real embedded databases: reading VERSION of the first
// row, the order chosen from the primary key, the generated statements in
// both dialects, writability, and the catalogue's definitions replacing the
// stored ones.
#include <gtest/gtest.h>

#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "datasets/DataSetFixture.h"

namespace vantrel::test {
namespace {

const char kVerTable[] =
    "create table VER (ID integer not null primary key, VERSION integer, SERIAL varchar(4000));\n";

class TableReader : public ::testing::Test {
protected:
    TempDir Dir;
};

TEST_F(TableReader, EmptyTableOpensAndReadsZero) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, kVerTable);
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_TRUE(t->Active());
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_EQ(version->AsInteger(), 0);
    t->Close();
    EXPECT_FALSE(t->Active());
}

TEST_F(TableReader, NullVersionInTheFirstRowReadsZero) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    std::string(kVerTable) + "insert into VER (ID, VERSION) values (1, null);\n"
                                                             "insert into VER (ID, VERSION) values (2, 7);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_FALSE(t->IsEmpty());
    EXPECT_TRUE(version->IsNull());
    EXPECT_EQ(version->AsInteger(), 0);
}

TEST_F(TableReader, ServerNamedPrimaryKeyOrdersTheRowsInDialect1) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    std::string(kVerTable) + "insert into VER (ID, VERSION) values (5, 50);\n"
                                                             "insert into VER (ID, VERSION) values (3, 30);\n"
                                                             "insert into VER (ID, VERSION) values (9, 90);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), 30);  // the lowest key
    EXPECT_EQ(t->PrimaryIndexFields(), u"ID");

    // Dialect 1 names are upper-cased, never quoted.
    EXPECT_EQ(t->SelectSQL().Text(), u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n order by ID\r\n");
    EXPECT_EQ(t->RefreshSQL().Text(),
              u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER where RDB$DB_KEY = :VANTREL_INTERNAL_DBKEY\r\n");
    EXPECT_EQ(t->DeleteSQL().Text(), u"delete from VER where RDB$DB_KEY = :VANTREL_INTERNAL_DBKEY\r\n");
    EXPECT_EQ(t->InsertSQL().Text(), u"insert into VER (ID, VERSION, SERIAL) values (:ID, :VERSION, :SERIAL)\r\n");
    EXPECT_EQ(t->ModifySQL().Text(),
              u"update VER set ID = :ID, VERSION = :VERSION, SERIAL = :SERIAL where RDB$DB_KEY = :VANTREL_INTERNAL_DBKEY\r\n");
    EXPECT_FALSE(t->ReadOnly());
    EXPECT_TRUE(t->LiveMode().Contains(lmInsert));
    EXPECT_TRUE(t->LiveMode().Contains(lmModify));
    EXPECT_TRUE(t->LiveMode().Contains(lmDelete));
    EXPECT_TRUE(t->LiveMode().Contains(lmRefresh));
    EXPECT_NE(t->CurrentDBKey(), nullptr);

    // The stored definitions were replaced by the catalogue's.
    ASSERT_EQ(t->IndexDefs().Count(), 1);
    EXPECT_TRUE(StartsWith(t->IndexDefs()[0].Name(), u"RDB$PRIMARY"));
    EXPECT_TRUE(t->IndexDefs()[0].Options().Contains(ixPrimary));
    EXPECT_TRUE(t->IndexDefs()[0].Options().Contains(ixUnique));
    EXPECT_EQ(t->IndexDefs()[0].Fields(), u"ID");
    ASSERT_EQ(t->FieldDefs().Count(), 3);
    EXPECT_EQ(t->FieldDefs()[2].Name(), u"SERIAL");
    EXPECT_EQ(t->FieldDefs()[2].DataType(), ftWideString);
    EXPECT_TRUE(t->FieldDefs()[0].Required());
}

TEST_F(TableReader, ChosenPrimaryKeyNameGivesNoOrder) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table VER (ID integer not null, VERSION integer, SERIAL varchar(4000),\n"
                                    "  constraint PK_VER primary key (ID));\n"
                                    "insert into VER (ID, VERSION) values (5, 50);\n"
                                    "insert into VER (ID, VERSION) values (3, 30);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(t->SelectSQL().Text(), u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n");
    EXPECT_TRUE(t->PrimaryIndexFields().empty());
    ASSERT_NE(t->IndexDefs().Find(u"PK_VER"), nullptr);
    EXPECT_FALSE(t->IndexDefs().Find(u"PK_VER")->Options().Contains(ixPrimary));
    // Whatever comes first, it is one of the rows.
    int v = version->AsInteger();
    EXPECT_TRUE(v == 50 || v == 30) << v;
}

TEST_F(TableReader, SmallintVersionReadsExactly) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table VER (ID integer not null primary key, VERSION smallint);\n"
                                    "insert into VER values (1, -32000);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), -32000);
}

TEST_F(TableReader, BigintVersionIsReadWhenItFits) {
    // 64-bit columns exist in dialect 3 only.
    std::string path = MakeDatabase(Dir, "d3.fdb", 3,
                                    "create table VER (ID integer not null primary key, VERSION bigint);\n"
                                    "insert into VER values (1, -5);\ninsert into VER values (2, 2147483648);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), -5);
    ASSERT_TRUE(t->Next());
    EXPECT_EQ(MessageOf([&] { version->AsInteger(); }),
              "TVer: Type mismatch for field 'VERSION', expecting: Integer actual: LargeInt");
    t->Close();
    // Dialect 3 quotes the generated names.
    EXPECT_EQ(t->SelectSQL().Text(),
              u"select \"VER\".*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from \"VER\"\r\n order by \"ID\"\r\n");
    EXPECT_EQ(t->InsertSQL().Text(), u"insert into \"VER\" (\"ID\", \"VERSION\") values (:\"ID\", :\"VERSION\")\r\n");
}

TEST_F(TableReader, BigintVersionIsReadInDialect1Too) {
    // A dialect 1 database cannot declare a 64-bit column, but it keeps one
    // that was declared before the database was lowered to dialect 1.
    std::string path = MakeDatabase(Dir, "d1.fdb", 3,
                                    "create table VER (ID integer not null primary key, VERSION bigint);\n"
                                    "insert into VER values (1, 5);");
    ProcessResult lowered = RunCommand("gfix -sql_dialect 1 -user SYSDBA -password " + std::string(kPassword) + " " + path);
    ASSERT_EQ(lowered.ExitCode, 0) << lowered.Output;
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), 5);
    EXPECT_EQ(m.DB->DBSQLDialect(), 1);
    EXPECT_EQ(t->SelectSQL().Text(), u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n order by ID\r\n");
}

TEST_F(TableReader, MissingVersionColumnIsReported) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, "create table VER (ID integer not null primary key);");
    TModuleLike m(path);
    TIBTable *t = m.AddTable(u"TVer", u"VER");
    EXPECT_EQ(MessageOf([&] { t->Open(); }), "TVer: Field 'VERSION' not found");
}

TEST_F(TableReader, ViewOverTwoTablesIsReadOnly) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table T1 (ID integer not null primary key, VERSION integer);\n"
                                    "create table T2 (ID integer not null primary key);\n"
                                    "create view V2 (ID, VERSION, OTHER) as select T1.ID, T1.VERSION, T2.ID from T1 join T2 on T2.ID = T1.ID;\n"
                                    "insert into T1 values (1, 11); insert into T2 values (1);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TV", u"V2", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), 11);
    EXPECT_TRUE(t->ReadOnly());
    EXPECT_TRUE(t->DeleteSQL().Text().empty());
    EXPECT_TRUE(t->InsertSQL().Text().empty());
    EXPECT_TRUE(t->ModifySQL().Text().empty());
    EXPECT_FALSE(t->LiveMode().Contains(lmInsert));
    EXPECT_FALSE(t->LiveMode().Contains(lmDelete));
    // A 16-byte key does not fit the row's key.
    EXPECT_EQ(t->CurrentDBKey()[0], 0);
}

TEST_F(TableReader, ViewWithoutRowKeysDropsTheRefreshStatementAndStillOpens) {
    // Preparing a key lookup on an aggregate view fails with "invalid
    // database key"; the table gives up the refresh statement and retries.
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table T1 (ID integer);\n"
                                    "create view VA (VERSION) as select count(*) from T1;\n"
                                    "insert into T1 values (1); insert into T1 values (2);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TV", u"VA", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), 2);
    EXPECT_TRUE(t->RefreshSQL().Text().empty());
    EXPECT_FALSE(t->WhereDBKeyRefreshSQL().empty());
    EXPECT_FALSE(t->LiveMode().Contains(lmRefresh));
    EXPECT_TRUE(t->ReadOnly());
}

TEST_F(TableReader, WithoutDefaultIndexThereIsNoOrder) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1, kVerTable);
    TModuleLike m(path);
    TIBTable *t = m.AddTable(u"TVer", u"VER");
    t->SetDefaultIndex(false);
    t->Open();
    EXPECT_EQ(t->PrimaryIndexFields(), u"ID");
    EXPECT_EQ(t->SelectSQL().Text(), u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n");
}

TEST_F(TableReader, CompositeKeyIsReadOnceAndOrdersByAllItsColumns) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table VER (A integer not null, B integer not null, VERSION integer,\n"
                                    "  primary key (A, B));\n"
                                    "create index VER_AB on VER (B, A);\n"
                                    "insert into VER values (2, 1, 21); insert into VER values (1, 2, 12);\n"
                                    "insert into VER values (1, 1, 11);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(t->PrimaryIndexFields(), u"A;B");
    EXPECT_EQ(t->IndexDefs().Count(), 2);
    ASSERT_NE(t->IndexDefs().Find(u"VER_AB"), nullptr);
    EXPECT_EQ(t->IndexDefs().Find(u"VER_AB")->Fields(), u"B;A");
    EXPECT_EQ(t->SelectSQL().Text(), u"select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n order by A, B\r\n");
    EXPECT_EQ(version->AsInteger(), 11);
}

TEST_F(TableReader, ComputedAndDefaultedColumnsAreKeptOutOfTheChanges) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    "create table VER (ID integer not null primary key, VERSION integer default 4 not null,\n"
                                    "  TWICE computed by (VERSION * 2));\n"
                                    "insert into VER (ID) values (1);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    EXPECT_EQ(version->AsInteger(), 4);
    const TFieldDef *twice = t->FieldDefs().Find(u"TWICE");
    ASSERT_NE(twice, nullptr);
    EXPECT_TRUE(twice->Attributes().Contains(faReadonly));
    EXPECT_TRUE(twice->InternalCalcField());
    // A default makes the column optional for an insert.
    EXPECT_FALSE(t->FieldDefs().Find(u"VERSION")->Attributes().Contains(faRequired));
    EXPECT_TRUE(t->FieldDefs().Find(u"ID")->Attributes().Contains(faRequired));
    EXPECT_EQ(t->InsertSQL().Text(), u"insert into VER (ID, VERSION) values (:ID, :VERSION)\r\n");
}

TEST_F(TableReader, ReopenReusesTheStatementsAndANewNameRegeneratesThem) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1,
                                    std::string(kVerTable) + "insert into VER (ID, VERSION) values (1, 3);\n"
                                                             "create table VER2 (ID integer not null primary key, VERSION integer);\n"
                                                             "insert into VER2 values (1, 8);");
    TModuleLike m(path);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    t->Open();
    const isc_stmt_handle select = t->QSelect()->Handle();
    t->Close();
    t->Open();
    EXPECT_EQ(t->QSelect()->Handle(), select);
    EXPECT_EQ(version->AsInteger(), 3);

    EXPECT_EQ(MessageOf([&] { t->SetTableName(u"VER2"); }), "TVer: Cannot perform this operation on an open dataset");
    t->Close();
    t->SetTableName(u"VER2");
    EXPECT_TRUE(t->SelectSQL().Text().empty());
    t->Open();
    EXPECT_EQ(version->AsInteger(), 8);
    EXPECT_EQ(t->InsertSQL().Text(), u"insert into VER2 (ID, VERSION) values (:ID, :VERSION)\r\n");
}

TEST_F(TableReader, FailuresBeforeTheSelectRuns) {
    std::string path = MakeDatabase(Dir, "d1.fdb", 1);
    TModuleLike m(path);
    TIBTable *unnamed = m.AddTable(u"TNone", u"");
    EXPECT_EQ(MessageOf([&] { unnamed->Open(); }), "No Table Name assigned");

    TIBTable *missing = m.AddTable(u"TVer", u"VER");
    m.DB->Open();
    const int transactions = m.DB->TransactionCount();
    std::string message = MessageOf([&] { missing->Open(); });
    EXPECT_NE(message.find("Table unknown"), std::string::npos) << message;
    EXPECT_FALSE(missing->Active());
    // The catalogue transactions were ended; only the table's own one runs.
    EXPECT_EQ(m.DB->TransactionCount(), transactions);
}

TEST_F(TableReader, QuoteNameFollowsTheDialect) {
    std::string path1 = MakeDatabase(Dir, "d1.fdb", 1);
    std::string path3 = MakeDatabase(Dir, "d3.fdb", 3);
    TModuleLike m1(path1);
    TModuleLike m3(path3);
    TIBTable *t1 = m1.AddTable(u"T1", u"ver");
    TIBTable *t3 = m3.AddTable(u"T3", u"Mixed\"Name");
    m1.DB->Open();
    m3.DB->Open();
    EXPECT_EQ(t1->QuoteName(u" ver "), u"VER");
    EXPECT_EQ(t1->CatalogueName(), u"VER");
    EXPECT_EQ(t3->QuoteName(u"Mixed\"Name"), u"\"Mixed\"\"Name\"");
    EXPECT_EQ(t3->CatalogueName(), u"Mixed\"Name");
}

}  // namespace
}  // namespace vantrel::test
