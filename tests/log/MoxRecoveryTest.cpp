#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LogTestDatabase.h"
#include "MoxSupport.h"

namespace {

const MoxTransactionId t1(100, 1);
const MoxTransactionId t2(100, 2);
const MoxTransactionId t3(200, 1);
const MoxTransactionId t4(200, 2);
const MoxTransactionId t5(300, 1);

// The tests name entries by their after images.
std::string nameOf(const MoxRecordLogEntry& entry) {
    return std::string(entry.getAfterImage(), entry.getAftImgLength());
}
std::string nameOf(const MoxIndexLogEntry& entry) {
    return std::string(entry.getAfterPage(), entry.getApl());
}

class MoxRecoveryTest : public LogTestDatabase {
  protected:
    MoxLsn append(MoxAbstractLogEntry&& entry) { return MoxLogManager::getInstance()->createLogEntry(&entry); }

    template <typename Entry>
    static std::vector<std::string> namesOf(Entry** list, int length) {
        std::vector<std::string> names;
        for (int i = 0; i < length; ++i) names.push_back(nameOf(*list[i]));
        return names;
    }

    static std::vector<std::string> recordNames(MoxRecovery& recovery) {
        std::vector<std::string> names;
        for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) {
            names.push_back(nameOf(recovery.getRecordRedoList()[i]));
        }
        return names;
    }

    static std::string capturedUndoLists(MoxRecovery& recovery, MoxRecovery::rollbackComponent component) {
        testing::internal::CaptureStdout();
        EXPECT_TRUE(recovery.recoverDb(component));
        return testing::internal::GetCapturedStdout();
    }
};

typedef std::vector<std::string> Names;

TEST_F(MoxRecoveryTest, NoLogFilesGiveEmptyLists) {
    MoxRecovery recovery;
    EXPECT_EQ(capturedUndoLists(recovery, MoxRecovery::ALL), "\n\n");
    EXPECT_EQ(recovery.getRecordRedoListLength(), 0);
    EXPECT_EQ(recovery.getIndexRedoListLength(), 0);
    EXPECT_EQ(recovery.getRecordUndoListLength(), 0);
    EXPECT_EQ(recovery.getIndexUndoListLength(), 0);
    EXPECT_TRUE(recovery.rollbackTransaction(MoxRecovery::RECORD, t1));
    EXPECT_EQ(recovery.getRecordRollbackListLength(), 0);
}

TEST_F(MoxRecoveryTest, PagesFullOfNewlinesComeBackByteForByte) {
    std::string before(MOX_PAGE_SIZE, '\n');
    std::string after(MOX_PAGE_SIZE, '\n');
    for (size_t i = 0; i < after.size(); i += 7) after[i] = static_cast<char>(i % 256);
    PageId page = 7;
    MoxLsn lsn = append(MoxIndexLogEntry(t1, &page, 32771, before.data(), MOX_PAGE_SIZE, after.data(), MOX_PAGE_SIZE,
                                         MoxAbstractLogEntry::VARCHAR_OPERATION));
    append(recordEntry(t1, "I;1,0;after the page\n"));

    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::INDEX);
    ASSERT_EQ(recovery.getIndexRedoListLength(), 1);
    EXPECT_EQ(recovery.getRecordRedoListLength(), 0);
    MoxIndexLogEntry& entry = recovery.getIndexRedoList()[0];
    EXPECT_EQ(std::string(entry.getBeforePage(), entry.getBpl()), before);
    EXPECT_EQ(std::string(entry.getAfterPage(), entry.getApl()), after);
    EXPECT_EQ(*entry.getPageID(), 7);
    EXPECT_EQ(entry.getSegmentID(), 32771);
    EXPECT_EQ(entry.getLsn(), lsn);
    EXPECT_EQ(entry.getTransactionType(), MoxAbstractLogEntry::VARCHAR_OPERATION);

    recovery.AnalyseLog(MoxRecovery::RECORD);
    EXPECT_EQ(recordNames(recovery), Names{"I;1,0;after the page\n"});
}

TEST_F(MoxRecoveryTest, UndoListsHoldUnfinishedTransactionsPerKindNewestFirst) {
    append(recordEntry(t1, "t1 insert"));
    append(indexEntry(t1, "t1 page"));
    append(recordEntry(t3, "t3 a"));
    append(recordEntry(t2, "t2 insert"));
    append(recordEntry(t3, "t3 b", MoxAbstractLogEntry::COMPENSATE_DELETE));
    append(recordEntry(t1, "t1 commit", MoxAbstractLogEntry::COMMIT));
    append(indexEntry(t1, "t1 commit", MoxAbstractLogEntry::COMMIT));
    append(indexEntry(t2, "t2 page"));
    append(recordEntry(t3, "t3 c"));
    // t2 has only an index rollback: still unfinished on the record side.
    append(indexEntry(t2, "t2 rollback", MoxAbstractLogEntry::ROLLBACK));
    // A crash between a transaction's two COMMIT entries: the first one
    // commits it for both kinds, whichever comes first.
    append(recordEntry(t4, "t4 insert"));
    append(indexEntry(t4, "t4 page"));
    append(recordEntry(t4, "t4 commit", MoxAbstractLogEntry::COMMIT));
    append(recordEntry(t5, "t5 insert"));
    append(indexEntry(t5, "t5 page"));
    append(indexEntry(t5, "t5 commit", MoxAbstractLogEntry::COMMIT));

    MoxRecovery recovery;
    EXPECT_EQ(capturedUndoLists(recovery, MoxRecovery::ALL), "\n\n");
    EXPECT_EQ(namesOf(recovery.getRecordUndoList(), recovery.getRecordUndoListLength()),
              (Names{"t3 c", "t3 b", "t2 insert", "t3 a"}));
    EXPECT_EQ(recovery.getIndexUndoListLength(), 0);

    // Each kind alone sees the other kind's COMMIT entries.
    MoxRecovery recordOnly;
    EXPECT_EQ(capturedUndoLists(recordOnly, MoxRecovery::RECORD), "\n");
    EXPECT_EQ(recordOnly.getRecordUndoListLength(), 4);
    MoxRecovery indexOnly;
    EXPECT_EQ(capturedUndoLists(indexOnly, MoxRecovery::INDEX), "\n");
    EXPECT_EQ(indexOnly.getIndexUndoListLength(), 0);
}

TEST_F(MoxRecoveryTest, RollbackListsHoldOneTransactionNewestFirst) {
    append(recordEntry(t1, "a"));
    append(recordEntry(t2, "other"));
    append(indexEntry(t1, "page"));
    append(recordEntry(t1, "b", MoxAbstractLogEntry::COMPENSATE_INSERT));
    append(recordEntry(t1, "c", MoxAbstractLogEntry::ROLLBACK));

    MoxRecovery recovery;
    EXPECT_TRUE(recovery.rollbackTransaction(MoxRecovery::RECORD, t1));
    EXPECT_EQ(namesOf(recovery.getRecordRollbackList(), recovery.getRecordRollbackListLength()),
              (Names{"c", "b", "a"}));
    EXPECT_EQ(recovery.getIndexRollbackListLength(), 0);

    MoxRecovery both;
    both.AnalyseLog(MoxRecovery::ALL);
    EXPECT_TRUE(both.makeRollbackLists(MoxRecovery::ALL, t1));
    EXPECT_EQ(both.getRecordRollbackListLength(), 0);
    EXPECT_EQ(both.getIndexRollbackListLength(), 0);
    EXPECT_TRUE(both.makeRollbackLists(MoxRecovery::INDEX, t1));
    EXPECT_EQ(namesOf(both.getIndexRollbackList(), both.getIndexRollbackListLength()), Names{"page"});
}

TEST_F(MoxRecoveryTest, FieldsReadBackAsWritten) {
    TupleId primary{3, 7};
    TupleId oldSecondary{65534, 254};
    std::string before = "x;\n;y";
    append(MoxRecordLogEntry(MoxTransactionId(-7, 65535), 32767, before.data(), 5, nullptr, 0,
                             MoxAbstractLogEntry::DELETE, &primary, &oldSecondary, nullptr));
    MoxLsn second = append(recordEntry(MoxTransactionId(-7, 65535), ""));

    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    ASSERT_EQ(recovery.getRecordRedoListLength(), 2);
    MoxRecordLogEntry& entry = recovery.getRecordRedoList()[0];
    EXPECT_EQ(entry.getTransactionID(), MoxTransactionId(-7, 65535));
    EXPECT_EQ(entry.getSegmentID(), 32767);
    EXPECT_EQ(*entry.getPrimTupelID(), primary);
    EXPECT_EQ(*entry.getOldSecTID(), oldSecondary);
    EXPECT_EQ(entry.getNewSecTID(), nullptr);
    EXPECT_EQ(std::string(entry.getBeforeImage(), entry.getBefImgLength()), before);
    EXPECT_EQ(entry.getAftImgLength(), 0);
    EXPECT_EQ(entry.getTransactionType(), MoxAbstractLogEntry::DELETE);
    EXPECT_EQ(recovery.getRecordRedoList()[1].getPrevLsnText(), "1,0");
    EXPECT_EQ(recovery.getRecordRedoList()[1].getLsn(), second);
}

TEST_F(MoxRecoveryTest, ALogNameThatIsNoFileIsPassedOver) {
    append(recordEntry(t1, "one"));
    std::filesystem::create_directory("2.log");
    writeFile("3.log", fileBytes("1.log"));
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    EXPECT_EQ(recordNames(recovery), (Names{"one", "one"}));
}

TEST_F(MoxRecoveryTest, HalfTupleIdsAreNone) {
    writeFile("1.log", "R;1,0;0,0;-12,3;5,;,6;7,8;00012;0;;1;z;4;\n");
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::RECORD);
    ASSERT_EQ(recovery.getRecordRedoListLength(), 1);
    MoxRecordLogEntry& entry = recovery.getRecordRedoList()[0];
    EXPECT_EQ(entry.getTransactionID(), MoxTransactionId(-12, 3));
    EXPECT_EQ(entry.getPrimTupelID(), nullptr);
    EXPECT_EQ(entry.getOldSecTID(), nullptr);
    EXPECT_EQ(*entry.getNewSecTID(), (TupleId{7, 8}));
    EXPECT_EQ(entry.getSegmentID(), 12);
    EXPECT_EQ(entry.getTransactionType(), MoxAbstractLogEntry::DELETE);
}

// Damaged input: whatever a line claims, the analysis stays inside the bytes
// and keeps every complete entry around the damage.
class MoxRecoveryDamageTest : public MoxRecoveryTest {
  protected:
    // Three entries appended by the manager, so each LSN names its offset.
    void SetUp() override {
        MoxRecoveryTest::SetUp();
        append(recordEntry(t1, "first\n"));
        append(recordEntry(t1, "second;"));
        append(indexEntry(t1, std::string(300, '\n')));
        lines = fileBytes("1.log");
        firstEnd = lines.find("first\n;") + 10;
        secondEnd = lines.find('\n', firstEnd) + 1;
    }

    Names analysedNames(const std::string& bytes) {
        writeFile("1.log", bytes);
        MoxRecovery recovery;
        recovery.AnalyseLog(MoxRecovery::ALL);
        Names names = recordNames(recovery);
        if (recovery.getIndexRedoListLength() == 1) names.push_back("page");
        return names;
    }

    std::string lines;
    size_t firstEnd = 0;
    size_t secondEnd = 0;
};

TEST_F(MoxRecoveryDamageTest, ATornFinalEntryIsIgnored) {
    for (size_t cut = secondEnd; cut < lines.size(); ++cut) {
        EXPECT_EQ(analysedNames(lines.substr(0, cut)), (Names{"first\n", "second;"})) << cut;
    }
    EXPECT_EQ(analysedNames(lines), (Names{"first\n", "second;", "page"}));
}

TEST_F(MoxRecoveryDamageTest, ATornEntryInTheMiddleLosesOnlyItself) {
    // After a crash the next append follows the torn bytes directly.
    const std::string first = lines.substr(0, firstEnd);
    for (size_t cut = firstEnd; cut < secondEnd; ++cut) {
        std::string torn = lines.substr(0, cut);
        MoxIndexLogEntry page = indexEntry(t2, "after");
        page.setLsn(MoxLsn(1, static_cast<Uint32>(torn.size())));
        EXPECT_EQ(analysedNames(torn + serialized(page) + "\n"), (Names{"first\n", "page"})) << cut;
    }
}

TEST_F(MoxRecoveryDamageTest, DamagedLinesArePassedOver) {
    const std::string first = lines.substr(0, firstEnd);
    const std::string rest = lines.substr(secondEnd);
    // Lengths beyond the bytes, signs, missing fields, foreign lines.
    for (const char* damaged :
         {"R;1,9;0,0;1,1;;;;1;999999999999;abc;0;;3;\n", "R;1,9;0,0;1,1;;;;1;4294967295;;0;;3;\n",
          "R;1,9;0,0;1,1;;;;1;-1;;0;;3;\n", "R;1,9;0,0;1,1;;;;1;3;ab;0;;3;\n", "R;1,9;\n", "\n", "hello;world\n",
          "X;1,9;0,0;1,1;;;;1;0;;0;;3;\n", "R;1,9;0,0;1,1;;;;1;0;;0;;3;junk\n", "R;1,9;0,0;1x,1;;;;1;0;;0;;3;\n",
          "R;1,9;0,0;1,1;;;;seg;0;;0;;3;\n", "I;1,9;0,0;1,1;p;1;0;;0;;3;\n", "R;1,9;0,0;1,1;;;;1;0;;0;;;\n"}) {
        EXPECT_EQ(analysedNames(first + damaged + lines.substr(firstEnd)), (Names{"first\n", "second;", "page"}))
            << damaged;
    }
    // Any single byte of the second line damaged: the first and third entry survive.
    for (size_t at = firstEnd; at < secondEnd; ++at) {
        for (char byte : {'\n', ';', '9', 'R', '\0'}) {
            std::string bytes = lines;
            bytes[at] = byte;
            Names names = analysedNames(bytes);
            ASSERT_GE(names.size(), 2u) << at << " " << byte;
            EXPECT_EQ(names.front(), "first\n");
            EXPECT_EQ(names.back(), "page");
        }
    }
}

TEST_F(MoxRecoveryDamageTest, RecordBytesBehindDamageAreNeverTakenForEntries) {
    // Once the entry around them is damaged, record bytes that form a
    // well-formed line must not become an entry of their own.
    const std::string fake = "R;1,0;0,0;100,1;3,1;;;1;0;;4;fake;3;\n";
    writeFile("1.log", "");
    append(recordEntry(t1, "first\n"));
    append(recordEntry(t1, "x\n" + fake + "y"));
    append(indexEntry(t1, std::string(300, '\n')));
    std::string bytes = fileBytes("1.log");
    bytes[bytes.find("y;3;") + 2] = 'z';
    EXPECT_EQ(analysedNames(bytes), (Names{"first\n", "page"}));
}

class RecordingHandler : public MoxRecordUndoHandler, public MoxIndexUndoHandler {
  public:
    void removeRecord(const MoxRecordLogEntry& entry) override { calls.push_back("remove " + nameOf(entry)); }
    void restoreRecord(const MoxRecordLogEntry& entry) override { calls.push_back("restore " + nameOf(entry)); }
    void reinsertRecord(const MoxRecordLogEntry& entry) override { calls.push_back("reinsert " + nameOf(entry)); }
    void restoreIntegerPage(const MoxIndexLogEntry& entry) override { calls.push_back("integer " + nameOf(entry)); }
    void restoreVarcharPage(const MoxIndexLogEntry& entry) override { calls.push_back("varchar " + nameOf(entry)); }

    Names calls;
};

TEST_F(MoxRecoveryTest, UndoCallsTheOperationThatEachTypeNeeds) {
    typedef MoxAbstractLogEntry E;
    for (E::transType type : {E::INSERT, E::UPDATE, E::DELETE, E::CREATE, E::COMPENSATE_INSERT, E::COMPENSATE_UPDATE,
                              E::COMPENSATE_DELETE, E::COMMIT}) {
        append(recordEntry(t1, std::to_string(type), type));
    }
    for (E::transType type : {E::INTEGER_OPERATION, E::VARCHAR_OPERATION, E::INTEGER_UNDO, E::VARCHAR_REDO,
                              E::INTEGER_REDO, E::VARCHAR_UNDO, E::ROLLBACK}) {
        append(indexEntry(t1, std::to_string(type), type));
    }
    MoxRecovery recovery;
    recovery.AnalyseLog(MoxRecovery::ALL);
    recovery.makeRollbackLists(MoxRecovery::RECORD, t1);
    recovery.makeRollbackLists(MoxRecovery::INDEX, t1);
    RecordingHandler handler;
    MoxRecovery::undoRecordEntries(recovery.getRecordRollbackList(), recovery.getRecordRollbackListLength(), handler);
    EXPECT_EQ(handler.calls, (Names{"reinsert 9", "restore 10", "remove 8", "reinsert 4", "restore 5", "remove 3"}));
    handler.calls.clear();
    MoxRecovery::undoIndexEntries(recovery.getIndexRollbackList(), recovery.getIndexRollbackListLength(), handler);
    EXPECT_EQ(handler.calls,
              (Names{"varchar 15", "integer 17", "varchar 14", "integer 18", "varchar 13", "integer 16"}));
}

}  // namespace
