// Transaction parameter block: byte layout of every item kind, the empty
// block, the transaction levels and every rejected line.
#include <gtest/gtest.h>

#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "client/TPB.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::N;

Bytes Build(std::initializer_list<String> lines) { return BuildTPB(TStringList(lines)); }

EIBClientError BuildError(std::initializer_list<String> lines) {
    try {
        Build(lines);
    } catch (const EIBClientError &e) {
        return e;
    }
    ADD_FAILURE() << "no client error";
    return EIBClientError(-1, u"");
}

TEST(TPBTest, NameTableCountsFromOne) {
    EXPECT_EQ(FindTPBItemCode(u"consistency"), 1);
    EXPECT_EQ(FindTPBItemCode(u"NOWAIT"), 7);
    EXPECT_EQ(FindTPBItemCode(u"wait_time"), 23);
    EXPECT_EQ(FindTPBItemCode(u"isc_tpb_nowait"), 0);  // the prefix is the builder's business
    EXPECT_EQ(TPBItemCodes().size(), 23u);
}

TEST(TPBTest, NoLinesGiveAnEmptyBlock) { EXPECT_TRUE(Build({}).empty()); }

TEST(TPBTest, BlankLinesGiveTheVersionByteAlone) {
    EXPECT_EQ(Build({u""}), Bytes{3});
    EXPECT_EQ(Build({u"  ", u"\t"}), Bytes{3});
}

TEST(TPBTest, FlagItems) {
    EXPECT_EQ(Build({u"nowait"}), (Bytes{3, 7}));
    EXPECT_EQ(Build({u"isc_tpb_nowait"}), (Bytes{3, 7}));
    EXPECT_EQ(Build({u"ISC_TPB_NoWait"}), (Bytes{3, 7}));
    // A value on a flag line is ignored.
    EXPECT_EQ(Build({u"read=whatever"}), (Bytes{3, 8}));
    for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 15, 17, 18, 19, 20, 21, 22}) {
        String name(TPBItemCodes()[static_cast<size_t>(code - 1)]);
        EXPECT_EQ(Build({name}), (Bytes{3, static_cast<uint8_t>(code)})) << N(name);
    }
}

TEST(TPBTest, WaitTimeIsSixBytes) {
    EXPECT_EQ(Build({u"wait_time=10"}), (Bytes{3, 23, 4, 10, 0, 0, 0}));
    EXPECT_EQ(Build({u"isc_tpb_wait_time=65536"}), (Bytes{3, 23, 4, 0, 0, 1, 0}));
    EXPECT_EQ(Build({u"wait_time=-1"}), (Bytes{3, 23, 4, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(TPBTest, LockTimeoutIsFirebirdsIntegerItemBesideTheNamesOfTheTable) {
    EXPECT_EQ(Build({u"wait", u"lock_timeout=60"}), (Bytes{3, 6, 21, 4, 60, 0, 0, 0}));
    EXPECT_EQ(Build({u"isc_tpb_lock_timeout=300"}), (Bytes{3, 21, 4, 44, 1, 0, 0}));
    // The same code under InterBase's name stays a flag.
    EXPECT_EQ(Build({u"no_savepoint"}), (Bytes{3, 21}));
    EXPECT_EQ(FindTPBItemCode(u"lock_timeout"), 0);
}

TEST(TPBTest, LockTimeoutLinesReplaceTheWaitChoice) {
    struct Case {
        std::initializer_list<String> Before;
        int32_t Seconds;
        String After;
    };
    for (const Case &c : {Case{{u"read_committed", u"rec_version", u"wait"}, 60, u"read_committed,rec_version,wait,lock_timeout=60"},
                          Case{{u"concurrency", u"nowait"}, 5, u"concurrency,wait,lock_timeout=5"},
                          Case{{u"ISC_TPB_WAIT", u"lock_timeout=9", u"write"}, 0, u"write,nowait"},
                          Case{{}, 1, u"wait,lock_timeout=1"}}) {
        TStringList params(c.Before);
        SetLockTimeoutParams(params, c.Seconds);
        EXPECT_EQ(params.Join(u","), c.After) << c.Seconds;
    }
}

TEST(TPBTest, TableNamesOfLocks) {
    EXPECT_EQ(Build({u"lock_write=VER"}), (Bytes{3, 11, 3, 'V', 'E', 'R'}));
    EXPECT_EQ(Build({u"lock_read=T1", u"shared"}), (Bytes{3, 10, 2, 'T', '1', 3}));
    String name(255, u'T');
    Bytes block = Build({u"lock_read=" + name});
    ASSERT_EQ(block.size(), 3u + 255u);
    EXPECT_EQ(block[2], 255);
}

TEST(TPBTest, LongerTableNameIsRejectedNotCut) {
    EIBClientError e = BuildError({u"lock_write=" + String(256, u'T')});
    EXPECT_EQ(e.Message(), u"TPB Constant (isc_tpb_lock_write) value is too long (256 bytes, at most 255)");
}

TEST(TPBTest, PrecommittedLevel) {
    EXPECT_EQ(BuildTPB(TransactionLevelParams(ibtrPrecommitted)), (Bytes{3, 15, 17, 7, 8}));
}

TEST(TPBTest, LevelLines) {
    EXPECT_EQ(TransactionLevelParams(ibtrSnapshot).Join(u","), u"concurrency,nowait");
    EXPECT_EQ(TransactionLevelParams(ibtrReadCommitted).Join(u","), u"read_committed,rec_version,nowait");
    EXPECT_EQ(TransactionLevelParams(ibtrReadOnlyTableStability).Join(u","), u"read,consistency");
    EXPECT_EQ(TransactionLevelParams(ibtrReadWriteTableStability).Join(u","), u"write,consistency");
    EXPECT_EQ(TransactionLevelParams(ibtrPrecommitted).Join(u","), u"read_committed,rec_version,nowait,read");
}

TEST(TPBTest, UnsupportedItems) {
    for (StringView name : {u"autocommit", u"verb_time", u"commit_time"}) {
        EIBClientError e = BuildError({String(name) + u"=1"});
        EXPECT_EQ(e.SQLCode(), 13);
        EXPECT_EQ(e.Message(), u"TPB Constant (isc_tpb_" + String(name) + u") is unsupported");
    }
    // A line without "=" shows no name part.
    EXPECT_EQ(BuildError({u"autocommit"}).Message(), u"TPB Constant (isc_tpb_) is unsupported");
}

TEST(TPBTest, UnknownItems) {
    EIBClientError e = BuildError({u"nowait", u"foo"});
    EXPECT_EQ(e.SQLCode(), 115);
    EXPECT_EQ(e.Message(), u"TPB Constant () is unknown");
    EXPECT_EQ(BuildError({u"Foo=1"}).Message(), u"TPB Constant (Foo) is unknown");
    EXPECT_EQ(BuildError({u"nowait =1"}).Message(), u"TPB Constant (nowait ) is unknown");
}

TEST(TPBTest, NonNumericWaitTime) {
    try {
        Build({u"wait_time=ten"});
        ADD_FAILURE();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), u"'ten' is not a valid integer value");
    }
}

}  // namespace
}  // namespace vantrel
