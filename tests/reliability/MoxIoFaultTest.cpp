#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "MoxFile.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "TestHelpers.h"
#include "common/TestDatabase.h"
#include "support/MoxIoFaults.h"

#ifdef MOX_FAULT_INJECTION

// Each kind of failing file operation, one at a time, at the layer that
// meets it: what it reports, and what it leaves in the file.
namespace {

typedef MoxIoFaults F;

const SegmentId segment = 7;

std::string fileBytes(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string page(char fill) {
    return std::string(MOX_PAGE_SIZE, fill);
}

const unsigned char* bytesOf(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::string errorMessage() {
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
    return message;
}

class MoxIoFaultTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        MoxLogManager::initializeLogFileHandling();
        files = MoxFileManager::getInstance();
    }

    void TearDown() override {
        F::TEST_disarm();
        delete MoxFileManager::getInstance();
        if (MoxLogManager::hasInstance()) delete MoxLogManager::getInstance();
        TestDatabase::TearDown();
    }

    std::string segmentFile() const { return directory() + "/Seg" + std::to_string(segment) + ".mox"; }

    // An open segment file of the given pages.
    void openSegmentOf(const std::string& content) {
        std::ofstream(segmentFile(), std::ios::binary) << content;
        ASSERT_EQ(files->open(segment), MOX_SUCCESS);
    }

    // Appends an insert of image; previous receives the entry's previous LSN.
    static MoxLsn append(const std::string& image, std::string* previous = nullptr) {
        TupleId primary{1, 0};
        MoxRecordLogEntry entry(MoxTransactionId(5, 1), 1, nullptr, 0, image.data(), static_cast<int>(image.size()),
                                MoxAbstractLogEntry::INSERT, &primary, nullptr, nullptr);
        MoxLsn lsn = MoxLogManager::getInstance()->createLogEntry(&entry);
        if (previous != nullptr) *previous = entry.getPrevLsnText();
        return lsn;
    }

    static std::vector<std::string> analysedImages() {
        MoxRecovery recovery;
        recovery.AnalyseLog(MoxRecovery::RECORD);
        std::vector<std::string> images;
        for (int i = 0; i < recovery.getRecordRedoListLength(); ++i) {
            MoxRecordLogEntry& entry = recovery.getRecordRedoList()[i];
            images.emplace_back(entry.getAfterImage(), entry.getAftImgLength());
        }
        return images;
    }

    MoxFileManager* files = nullptr;
};

// The segment file operations: the code each failure returns, with its
// message naming the segment, and the file it leaves, which the operation
// can use again at once once the disk works.
TEST_F(MoxIoFaultTest, SegmentFileFailuresAreReportedAndLeaveWholePages) {
    const std::string before = page('a') + page('b');
    const struct Case {
        const char* name;
        F::Effect effect;
        Uint32 operation;
        std::function<MoxErrorCode(MoxFileManager&)> action;
        MoxErrorCode code;
        // The file afterwards; empty: as before.
        std::string after;
    } cases[] = {
        {"read", F::IoError, F::Read,
         [](MoxFileManager& m) {
             unsigned char buffer[MOX_PAGE_SIZE];
             return m.read(segment, 1, buffer);
         },
         MOX_FM_FILE_READ_FAIL, ""},
        {"size before a read", F::IoError, F::Size,
         [](MoxFileManager& m) {
             unsigned char buffer[MOX_PAGE_SIZE];
             return m.read(segment, 0, buffer);
         },
         MOX_FM_FILE_READ_FAIL, ""},
        {"size before a write", F::IoError, F::Size,
         [](MoxFileManager& m) { return m.write(segment, 0, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        {"write in place", F::IoError, F::Write,
         [](MoxFileManager& m) { return m.write(segment, 1, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        // Half the page reaches the file, then the old bytes go back: a torn
        // page would carry the new header, and its LSN, over old bytes.
        {"short write in place", F::ShortWrite, F::Write,
         [](MoxFileManager& m) { return m.write(segment, 1, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        // The old bytes cannot be read: nothing is written.
        {"read before a write in place", F::IoError, F::Read,
         [](MoxFileManager& m) { return m.write(segment, 1, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        // An extension cut short is taken back, zero pages included.
        {"short write of a new page", F::ShortWrite, F::Write,
         [](MoxFileManager& m) { return m.write(segment, 2, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        {"short write of a zero page", F::ShortWrite, F::Write,
         [](MoxFileManager& m) { return m.write(segment, 4, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        {"full disk on a new page", F::NoSpace, F::Write,
         [](MoxFileManager& m) { return m.write(segment, 2, bytesOf(page('x'))); }, MOX_FM_FILE_WRITE_FAIL, ""},
        // The entry goes all the same: the segment is no longer open.
        {"close", F::IoError, F::Close, [](MoxFileManager& m) { return m.close(segment); }, MOX_FM_FILE_CLOSE_FAIL, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openSegmentOf(before);
        F::TEST_arm(c.effect, 1, c.operation);
        EXPECT_EQ(c.action(*files), c.code);
        EXPECT_TRUE(F::TEST_fired());
        F::TEST_disarm();
        EXPECT_NE(errorMessage().find("segment 7"), std::string::npos) << errorMessage();
        EXPECT_EQ(fileBytes(segmentFile()), c.after.empty() ? before : c.after);
        // The file works again at once: a fresh page 1 is written and read whole.
        ASSERT_EQ(files->open(segment), MOX_SUCCESS);
        EXPECT_EQ(files->write(segment, 1, bytesOf(page('y'))), MOX_SUCCESS);
        unsigned char buffer[MOX_PAGE_SIZE];
        EXPECT_EQ(files->read(segment, 1, buffer), MOX_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), MOX_PAGE_SIZE), page('y'));
        EXPECT_EQ(files->close(segment), MOX_SUCCESS);
    }
}

TEST_F(MoxIoFaultTest, SegmentFilesThatCannotBeCreatedOrOpenedAreReported) {
    F::TEST_arm(F::NoSpace, 1, F::Open);
    EXPECT_EQ(files->create(segment), MOX_FM_FILE_CREATE_FAIL);
    EXPECT_FALSE(std::filesystem::exists(segmentFile()));
    F::TEST_disarm();

    // The file was made; its descriptor would not close.
    F::TEST_arm(F::IoError, 1, F::Close);
    EXPECT_EQ(files->create(segment), MOX_FM_FILE_CREATE_FAIL);
    F::TEST_disarm();
    EXPECT_EQ(files->create(segment), MOX_FM_FILE_ALREADY_EXISTS);

    F::TEST_arm(F::IoError, 1, F::Open);
    EXPECT_EQ(files->open(segment), MOX_FM_FILE_OPEN_FAIL);
    F::TEST_disarm();
    unsigned char buffer[MOX_PAGE_SIZE];
    EXPECT_EQ(files->read(segment, 0, buffer), MOX_FM_FILE_NOT_OPEN) << "a failed open enters nothing";
}

// Every step of an append: the failure is thrown with the file's name, the
// next append succeeds and chains to the last entry that made it, and the
// analysis finds exactly the entries whose appends returned, also behind the
// torn half of a short write.
TEST_F(MoxIoFaultTest, LogAppendFailuresAreReportedAndLeaveTheLogReadable) {
    const struct Case {
        const char* name;
        F::Effect effect;
        Uint32 operation;
        MoxErrorCode code;
        const char* standardError;
    } cases[] = {
        {"open", F::IoError, F::Open, MOX_LOGM_FILE_OPEN_FAILED, "Fehler beim öffnen der Datei"},
        {"full disk at open", F::NoSpace, F::Open, MOX_LOGM_FILE_OPEN_FAILED, "Fehler beim öffnen der Datei"},
        {"size", F::IoError, F::Size, MOX_LOGM_FILE_OPEN_FAILED, "Fehler beim öffnen der Datei"},
        {"write", F::IoError, F::Write, MOX_LOGM_FILE_WRITE_FAILED, "Fehler beim Schreiben in Datei"},
        {"short write", F::ShortWrite, F::Write, MOX_LOGM_FILE_WRITE_FAILED, "Fehler beim Schreiben in Datei"},
        {"close", F::IoError, F::Close, MOX_LOGM_FILE_CLOSE_FAILED, "Fehler beim Schliessen der Datei"},
    };
    std::vector<std::string> appended;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MoxLsn last = append(std::string("before ") + c.name);
        appended.push_back(std::string("before ") + c.name);
        F::TEST_arm(c.effect, 1, c.operation);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(throwsError([&c] { append(std::string("failed ") + c.name); }, c.code, {"1.log"}));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.standardError);
        F::TEST_disarm();

        std::string previous;
        append(std::string("after ") + c.name, &previous);
        appended.push_back(std::string("after ") + c.name);
        EXPECT_EQ(previous, last.dump()) << "the failed entry is no link of the chain";
    }
    // Also the entry whose close failed after a complete write is gone.
    EXPECT_EQ(analysedImages(), appended);
}

// An analysis that cannot read a log file must not pass for one of a
// shorter log: a rollback or recovery built on it would leave changes
// undone without a word.
TEST_F(MoxIoFaultTest, ALogFileThatCannotBeReadFailsTheAnalysis) {
    append("one");
    std::filesystem::copy_file("1.log", "2.log");
    const struct Case {
        const char* name;
        F::Effect effect;
        Uint32 operation;
        Uint64 n;
        const char* file;
    } cases[] = {
        {"open of the first file", F::IoError, F::Open, 1, "1.log"},
        {"read of the first file", F::IoError, F::Read, 1, "1.log"},
        {"open of the second file", F::IoError, F::Open, 2, "2.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        F::TEST_arm(c.effect, c.n, c.operation);
        EXPECT_TRUE(throwsError([] { analysedImages(); }, MOX_LOGM_FILE_OPEN_FAILED, {c.file}));
        F::TEST_disarm();
    }
    EXPECT_EQ(analysedImages(), (std::vector<std::string>{"one", "one"}));
}

}  // namespace

#endif
