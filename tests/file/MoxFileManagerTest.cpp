#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/ChildProcess.h"
#include "MoxFile.h"
#include "MoxSupport.h"
#include "common/TestDatabase.h"

// A fresh file manager on a private database directory for every test, so
// that the directory it caches is this test's.
class MoxFileManagerTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        deleteManager();
        fileManager = MoxFileManager::getInstance();
    }

    void TearDown() override {
        deleteManager();
        TestDatabase::TearDown();
    }

    static void deleteManager() {
        if (MoxFileManager::hasInstance()) {
            delete MoxFileManager::getInstance();
        }
    }

    static const char* fileName(SegmentId segment) { return MoxFileManager::getInstance()->getFileName(segment); }

    std::string path(SegmentId segment) const { return directory() + "/Seg" + std::to_string(segment) + ".mox"; }

    std::string fileContent(SegmentId segment) const {
        std::ifstream file(path(segment), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    void writeFile(SegmentId segment, const std::string& content) const {
        std::ofstream file(path(segment), std::ios::binary | std::ios::trunc);
        file << content;
    }

    static std::string errorMessage() {
        char message[1025] = {0};
        MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
        return message;
    }

    MoxFileManager* fileManager = nullptr;
};

namespace {

// Makes a directory path of exactly `length` characters below base out of
// nested directories.
std::string nestedDirectory(const std::string& base, size_t length) {
    std::string result = base;
    while (result.size() < length) {
        size_t part = std::min<size_t>(200, length - result.size() - 1);
        if (length - result.size() - 1 - part == 1) {
            --part;  // leave no room for a lone "/" as the last component
        }
        // Appended in two steps: "/" + std::string(...) trips a false
        // -Wrestrict of GCC 12 at -O3.
        result += '/';
        result.append(part, 'd');
        std::filesystem::create_directory(result);
    }
    return result;
}

}  // namespace

TEST_F(MoxFileManagerTest, NamesFollowTheDirectoryAsGiven) {
    EXPECT_STREQ(fileName(7), (directory() + "/Seg7.mox").c_str());
    EXPECT_STREQ(fileName(65535), (directory() + "/Seg65535.mox").c_str());

    deleteManager();
    std::string withSlash = directory() + "/";
    setenv("MOX_DATABASE_PATH", withSlash.c_str(), 1);
    EXPECT_STREQ(fileName(7), (directory() + "/Seg7.mox").c_str());

    // Unset, and set but empty, mean the working directory.
    for (bool empty : {false, true}) {
        deleteManager();
        empty ? setenv("MOX_DATABASE_PATH", "", 1) : unsetenv("MOX_DATABASE_PATH");
        EXPECT_STREQ(fileName(7), "./Seg7.mox");
    }
    ASSERT_EQ(MoxFileManager::getInstance()->create(7), MOX_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(path(7)));
}

TEST_F(MoxFileManagerTest, DirectoryIsLimitedTo978CharactersAndReadOnce) {
    std::string longest = nestedDirectory(directory(), 978);
    ASSERT_EQ(longest.size(), 978U);
    ChildProcess accepted([&] {
        delete MoxFileManager::getInstance();
        setenv("MOX_DATABASE_PATH", longest.c_str(), 1);
        MoxFileManager* manager = MoxFileManager::getInstance();
        if (manager->create(1) != MOX_SUCCESS || !std::filesystem::exists(longest + "/Seg1.mox")) {
            return 1;
        }
        // The directory was taken once; a later change goes unnoticed.
        setenv("MOX_DATABASE_PATH", directory().c_str(), 1);
        return manager->create(2) == MOX_SUCCESS && std::filesystem::exists(longest + "/Seg2.mox") ? 0 : 2;
    });
    EXPECT_EQ(accepted.wait(30), 0);

    std::string tooLong = longest + "x";
    ChildProcess refused([&] {
        delete MoxFileManager::getInstance();
        setenv("MOX_DATABASE_PATH", tooLong.c_str(), 1);
        MoxFileManager* manager = MoxFileManager::getInstance();
        if (manager->create(1) != MOX_FM_PATH_TOO_LONG || MoxGetErrorCode() != MOX_FM_PATH_TOO_LONG) {
            return 1;
        }
        // Nothing was cached by the failure: a shorter directory now works.
        setenv("MOX_DATABASE_PATH", directory().c_str(), 1);
        return manager->create(3) == MOX_SUCCESS ? 0 : 2;
    });
    EXPECT_EQ(refused.wait(30), 0);
    EXPECT_TRUE(std::filesystem::exists(path(3)));
}

TEST_F(MoxFileManagerTest, CreateMakesAnEmptyClosedFileAndNeverOverwrites) {
    ASSERT_EQ(fileManager->create(5), MOX_SUCCESS);
    EXPECT_EQ(std::filesystem::file_size(path(5)), 0U);
    unsigned char page[MOX_PAGE_SIZE] = {};
    EXPECT_EQ(fileManager->read(5, 0, page), MOX_FM_FILE_NOT_OPEN);

    writeFile(5, "keep");
    EXPECT_EQ(fileManager->create(5), MOX_FM_FILE_ALREADY_EXISTS);
    EXPECT_EQ(fileContent(5), "keep");

    writeFile(6, "");
    ASSERT_EQ(fileManager->open(6), MOX_SUCCESS);
    std::filesystem::remove(path(6));
    EXPECT_EQ(fileManager->create(6), MOX_FM_FILE_ALREADY_EXISTS);
    EXPECT_FALSE(std::filesystem::exists(path(6)));
}

TEST_F(MoxFileManagerTest, WriteExtendsWithZeroPagesAndReadsBack) {
    ASSERT_EQ(fileManager->create(9), MOX_SUCCESS);
    ASSERT_EQ(fileManager->open(9), MOX_SUCCESS);
    unsigned char page[MOX_PAGE_SIZE];
    EXPECT_EQ(fileManager->read(9, 0, page), MOX_FM_PAGE_NOT_EXISTS);
    EXPECT_NE(errorMessage().find("Page number 0 does not exist in segment 9.  The file contains only 0 pages."),
              std::string::npos)
        << errorMessage();

    memset(page, 0xAB, sizeof(page));
    ASSERT_EQ(fileManager->write(9, 3, page), MOX_SUCCESS);
    // On disk before the file is closed: other processes read from there.
    std::string content = fileContent(9);
    ASSERT_EQ(content.size(), 4U * MOX_PAGE_SIZE);
    EXPECT_EQ(content.substr(0, 3 * MOX_PAGE_SIZE), std::string(3 * MOX_PAGE_SIZE, '\0'));
    EXPECT_EQ(content.substr(3 * MOX_PAGE_SIZE), std::string(MOX_PAGE_SIZE, '\xAB'));

    unsigned char back[MOX_PAGE_SIZE];
    ASSERT_EQ(fileManager->read(9, 3, back), MOX_SUCCESS);
    EXPECT_EQ(memcmp(back, page, sizeof(page)), 0);
    ASSERT_EQ(fileManager->read(9, 1, back), MOX_SUCCESS);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(fileManager->read(9, 4, back), MOX_FM_PAGE_NOT_EXISTS);
    EXPECT_NE(errorMessage().find("only 4 pages"), std::string::npos) << errorMessage();

    // Overwriting a page inside the file keeps the size.
    memset(page, 0x11, sizeof(page));
    ASSERT_EQ(fileManager->write(9, 1, page), MOX_SUCCESS);
    ASSERT_EQ(fileManager->read(9, 1, back), MOX_SUCCESS);
    EXPECT_EQ(back[MOX_PAGE_SIZE - 1], 0x11);
    EXPECT_EQ(std::filesystem::file_size(path(9)), 4U * MOX_PAGE_SIZE);
}

// A trailing partial page (a write cut short by a crash) is no page: the
// whole pages before it stay readable, while a write refuses the file.
TEST_F(MoxFileManagerTest, TrailingPartialPageIsAbsentForReadsAndRefusedForWrites) {
    writeFile(4, std::string(MOX_PAGE_SIZE, 'a') + "x");
    ASSERT_EQ(fileManager->open(4), MOX_SUCCESS);
    unsigned char page[MOX_PAGE_SIZE] = {};
    ASSERT_EQ(fileManager->read(4, 0, page), MOX_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(page), MOX_PAGE_SIZE), std::string(MOX_PAGE_SIZE, 'a'));
    EXPECT_EQ(fileManager->read(4, 1, page), MOX_FM_PAGE_NOT_EXISTS);
    EXPECT_EQ(errorMessage(), "Page number 1 does not exist in segment 4.  The file contains only 1 pages.");
    EXPECT_EQ(fileManager->write(4, 0, page), MOX_FM_FILE_INVALID_SIZE);
    EXPECT_NE(errorMessage().find("segment 4 has an invalid size of 4097 bytes"), std::string::npos) << errorMessage();
    EXPECT_EQ(fileManager->write(4, 5, page), MOX_FM_FILE_INVALID_SIZE);
    ASSERT_EQ(fileManager->close(4), MOX_SUCCESS);
    EXPECT_EQ(fileContent(4), std::string(MOX_PAGE_SIZE, 'a') + "x");
}

TEST_F(MoxFileManagerTest, OpenCloseAndDropKeepTheOpenSetRight) {
    EXPECT_EQ(fileManager->open(2), MOX_FM_FILE_NOT_FOUND);
    EXPECT_EQ(fileManager->drop(2), MOX_FM_FILE_NOT_FOUND);
    EXPECT_EQ(fileManager->close(2), MOX_SUCCESS);

    ASSERT_EQ(fileManager->create(2), MOX_SUCCESS);
    ASSERT_EQ(fileManager->open(2), MOX_SUCCESS);
    ASSERT_EQ(fileManager->open(2), MOX_SUCCESS);
    EXPECT_EQ(fileManager->drop(2), MOX_FM_FILE_STILL_OPEN);
    EXPECT_TRUE(std::filesystem::exists(path(2)));

    // One close undoes both opens: the set holds one entry per segment.
    ASSERT_EQ(fileManager->close(2), MOX_SUCCESS);
    unsigned char page[MOX_PAGE_SIZE] = {};
    EXPECT_EQ(fileManager->write(2, 0, page), MOX_FM_FILE_NOT_OPEN);
    EXPECT_EQ(fileManager->drop(2), MOX_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(path(2)));
}

TEST_F(MoxFileManagerTest, BadArgumentsAreRefused) {
    ASSERT_EQ(fileManager->create(1), MOX_SUCCESS);
    ASSERT_EQ(fileManager->open(1), MOX_SUCCESS);
    unsigned char page[MOX_PAGE_SIZE] = {};
    EXPECT_EQ(fileManager->read(1, 0, nullptr), MOX_PARAMETER_FAIL);
    EXPECT_EQ(fileManager->write(1, 0, nullptr), MOX_PARAMETER_FAIL);
    // The invalid page id would otherwise grow the file by 256 MiB.
    EXPECT_EQ(fileManager->write(1, MOX_INVALID_PAGE_ID, page), MOX_PARAMETER_FAIL);
    EXPECT_EQ(fileManager->read(1, MOX_INVALID_PAGE_ID, page), MOX_PARAMETER_FAIL);
    EXPECT_EQ(std::filesystem::file_size(path(1)), 0U);
    // Segment 0 is no segment.
    EXPECT_EQ(fileManager->create(0), MOX_PARAMETER_FAIL);
    EXPECT_EQ(fileManager->open(0), MOX_PARAMETER_FAIL);
    EXPECT_EQ(fileManager->drop(0), MOX_PARAMETER_FAIL);
    EXPECT_FALSE(std::filesystem::exists(path(0)));
}

TEST_F(MoxFileManagerTest, MissingDirectoryFailsCreate) {
    deleteManager();
    setenv("MOX_DATABASE_PATH", (directory() + "/missing").c_str(), 1);
    EXPECT_EQ(MoxFileManager::getInstance()->create(8), MOX_FM_FILE_CREATE_FAIL);
    EXPECT_EQ(MoxFileManager::getInstance()->open(8), MOX_FM_FILE_NOT_FOUND);
}

TEST_F(MoxFileManagerTest, DestructorClosesOpenFiles) {
    ASSERT_EQ(fileManager->create(3), MOX_SUCCESS);
    ASSERT_EQ(fileManager->open(3), MOX_SUCCESS);
    unsigned char page[MOX_PAGE_SIZE];
    memset(page, 0x5A, sizeof(page));
    ASSERT_EQ(fileManager->write(3, 0, page), MOX_SUCCESS);
    delete fileManager;
    EXPECT_FALSE(MoxFileManager::hasInstance());

    fileManager = MoxFileManager::getInstance();
    EXPECT_EQ(fileManager->read(3, 0, page), MOX_FM_FILE_NOT_OPEN);
    ASSERT_EQ(fileManager->open(3), MOX_SUCCESS);
    memset(page, 0, sizeof(page));
    ASSERT_EQ(fileManager->read(3, 0, page), MOX_SUCCESS);
    EXPECT_EQ(page[MOX_PAGE_SIZE - 1], 0x5A);
}
