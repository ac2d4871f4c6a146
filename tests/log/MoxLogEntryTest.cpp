#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MoxLog.h"
#include "MoxSupport.h"
#include "TestHelpers.h"

namespace {

const MoxTransactionId transaction(4711, 1);

std::string serialized(MoxAbstractLogEntry& entry) {
    std::unique_ptr<char[]> form(entry.serialize());
    EXPECT_EQ(form[entry.getLength()], '\0');
    return std::string(form.get(), entry.getLength());
}

// Bytes that a reader must take by length, not by separator.
std::string awkwardImage(size_t length) {
    std::string image(length, 'x');
    for (size_t i = 0; i < length; i += 3) image[i] = "\n;\0"[i % 9 / 3];
    return image;
}

TEST(MoxLogEntryTest, CommitEntrySerialisesToItsThirtyBytes) {
    MoxRecordLogEntry commit(transaction, 0, nullptr, 0, nullptr, 0, MoxAbstractLogEntry::COMMIT, nullptr, nullptr,
                             nullptr);
    commit.setLsn(MoxLsn(1, 0));
    EXPECT_EQ(commit.getLength(), 0);

    testing::internal::CaptureStdout();
    commit.dump();
    std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(printed, "R;1,0;0,0;4711,1;;;;0;0;;0;;1;\n");
    EXPECT_EQ(commit.getLength(), 30);
    EXPECT_EQ(serialized(commit), "R;1,0;0,0;4711,1;;;;0;0;;0;;1;");

    MoxIndexLogEntry indexCommit(transaction, nullptr, 0, nullptr, 0, nullptr, 0, MoxAbstractLogEntry::COMMIT);
    indexCommit.setLsn(MoxLsn(1, 31));
    indexCommit.setPrevLsn(MoxLsn(1, 0));
    EXPECT_EQ(serialized(indexCommit), "I;1,31;1,0;4711,1;;0;0;;0;;1;");
    EXPECT_EQ(indexCommit.getLength(), 29);
}

TEST(MoxLogEntryTest, RecordEntryCarriesRawImagesAndTupleIds) {
    const std::string before = awkwardImage(40);
    const std::string after = "a;b\nc";
    TupleId primary{3, 7};
    TupleId newSecondary{65534, 254};
    MoxRecordLogEntry update(MoxTransactionId(-5, 65535), 32767, before.data(), 40, after.data(), 5,
                             MoxAbstractLogEntry::UPDATE, &primary, nullptr, &newSecondary);
    update.setLsn(MoxLsn(2, 4096));
    update.setPrevLsn(std::string("2,100"));

    std::string expected = "R;2,4096;2,100;-5,65535;3,7;;65534,254;32767;40;" + before + ";5;" + after + ";5;";
    EXPECT_EQ(serialized(update), expected);
    EXPECT_EQ(update.getLength(), static_cast<int>(expected.size()));
    EXPECT_EQ(update.getLsn(), MoxLsn(2, 4096));
    EXPECT_EQ(std::string(update.getBeforeImage(), 41), before + '\0');
    EXPECT_EQ(update.getOldSecTID(), nullptr);
    EXPECT_EQ(*update.getNewSecTID(), newSecondary);
}

TEST(MoxLogEntryTest, IndexEntryCarriesWholePages) {
    const std::string before = awkwardImage(MOX_PAGE_SIZE);
    const std::string after(MOX_PAGE_SIZE, '\n');
    PageId page = 9;
    MoxIndexLogEntry change(transaction, &page, 32769, before.data(), MOX_PAGE_SIZE, after.data(), MOX_PAGE_SIZE,
                            MoxAbstractLogEntry::INTEGER_OPERATION);
    change.setLsn(MoxLsn(1, 77));
    EXPECT_EQ(serialized(change), "I;1,77;0,0;4711,1;9;32769;4096;" + before + ";4096;" + after + ";16;");
    EXPECT_EQ(change.getLength(), 2 * MOX_PAGE_SIZE + 41);
}

TEST(MoxLogEntryTest, CopiesOutliveTheirSource) {
    const std::string image = awkwardImage(100);
    TupleId primary{1, 2};
    TupleId oldSecondary{3, 4};
    auto source = std::make_unique<MoxRecordLogEntry>(transaction, 5, image.data(), 100, image.data(), 50,
                                                      MoxAbstractLogEntry::DELETE, &primary, &oldSecondary, nullptr);
    source->setLsn(MoxLsn(1, 10));
    source->setPrevLsn(MoxLsn(1, 5));
    const std::string form = serialized(*source);
    MoxRecordLogEntry copy(*source);
    MoxRecordLogEntry assigned;
    assigned = *source;
    source.reset();
    for (MoxRecordLogEntry* entry : {&copy, &assigned}) {
        EXPECT_EQ(serialized(*entry), form);
        EXPECT_EQ(std::string(entry->getAfterImage(), 50), image.substr(0, 50));
        EXPECT_EQ(*entry->getOldSecTID(), oldSecondary);
        EXPECT_EQ(entry->getTransactionType(), MoxAbstractLogEntry::DELETE);
    }

    PageId page = 4;
    auto indexSource = std::make_unique<MoxIndexLogEntry>(transaction, &page, 32771, image.data(), 100, nullptr, 0,
                                                          MoxAbstractLogEntry::INTEGER_UNDO);
    indexSource->setLsn(MoxLsn(3, 3));
    const std::string indexForm = serialized(*indexSource);
    MoxIndexLogEntry fromPointer(indexSource.get());
    MoxIndexLogEntry indexAssigned;
    indexAssigned = *indexSource;
    indexSource.reset();
    for (MoxIndexLogEntry* entry : {&fromPointer, &indexAssigned}) {
        EXPECT_EQ(serialized(*entry), indexForm);
        EXPECT_EQ(*entry->getPageID(), 4);
        EXPECT_EQ(entry->getAfterPage(), nullptr);
    }
}

TEST(MoxLogEntryTest, ImpossibleImagesAreRefused) {
    const char image[] = "abc";
    EXPECT_TRUE(throwsError(
        [] {
            MoxRecordLogEntry(transaction, 1, nullptr, 5, nullptr, 0, MoxAbstractLogEntry::DELETE, nullptr, nullptr,
                              nullptr);
        },
        MOX_LOGM_RECORD_INIT_FAILED));
    EXPECT_TRUE(throwsError(
        [&image] {
            MoxRecordLogEntry(transaction, 1, image, 3, image, -1, MoxAbstractLogEntry::UPDATE, nullptr, nullptr,
                              nullptr);
        },
        MOX_LOGM_RECORD_INIT_FAILED));
    EXPECT_TRUE(throwsError(
        [] {
            MoxIndexLogEntry(transaction, nullptr, 1, nullptr, MOX_PAGE_SIZE, nullptr, 0,
                             MoxAbstractLogEntry::INTEGER_OPERATION);
        },
        MOX_LOGM_INDEX_INIT_FAILED));
}

TEST(MoxLogEntryTest, ImageLengthsNeverClaimMoreThanTheEntryHolds) {
    const std::string page(MOX_PAGE_SIZE, 'p');
    PageId pageId = 1;
    MoxIndexLogEntry change(transaction, &pageId, 32769, page.data(), 10, nullptr, 0,
                            MoxAbstractLogEntry::INTEGER_OPERATION);
    change.setBpl(MOX_PAGE_SIZE);
    change.setApl(MOX_PAGE_SIZE);
    change.setAfterPage(page.data());
    change.setLsn(MoxLsn(1, 0));
    std::string form = serialized(change);
    EXPECT_EQ(form, "I;1,0;0,0;4711,1;1;32769;4096;" + page.substr(0, 10) + std::string(4086, '\0') + ";4096;" + page +
                        ";16;");
}

}  // namespace
