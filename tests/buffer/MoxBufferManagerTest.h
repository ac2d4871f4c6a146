#ifndef MOX_BUFFER_MANAGER_TEST_H
#define MOX_BUFFER_MANAGER_TEST_H

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "MoxBuffer.h"
#include "MoxFile.h"
#include "MoxSupport.h"
#include "common/TestDatabase.h"

// A started buffer pool on a private database and a fresh buffer manager
// (and file manager, which caches the directory) for every test.
class MoxBufferManagerTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        deleteManagers();
        MoxBufferManager::initializeBuffer();
        manager = MoxBufferManager::getInstance();
    }

    void TearDown() override {
        deleteManagers();
        TestDatabase::TearDown();
    }

    void deleteManagers() {
        if (MoxBufferManager::hasInstance()) {
            delete MoxBufferManager::getInstance();
        }
        if (MoxFileManager::hasInstance()) {
            delete MoxFileManager::getInstance();
        }
        manager = nullptr;
    }

    MoxPage* frame(Uint16 index) const { return &manager->data[index]; }
    Uint16 indexOf(const MoxPage* page) const { return manager->frameIndex(*page); }
    const MoxLRU& lru() const { return *manager->lru; }
    const MoxBufferManager::Header& shared() const { return *manager->header; }
    Uint32 ownLogicalReads() const { return manager->logicalReads; }
    Uint32 ownPhysicalReads() const { return manager->physicalReads; }
    MoxBufferManagerProfiling::Profiler& profiler() const { return manager->profiler; }

    // The pool's frame of a page, or null when the pool does not hold it.
    MoxPage* resident(SegmentId segment, PageId page) const {
        Uint16 index = 0;
        return manager->hash->find(segment, page, index);
    }

    std::string path(SegmentId segment) const { return directory() + "/Seg" + std::to_string(segment) + ".mox"; }

    // Writes a segment file of count pages past the buffer: page i has id i,
    // the given type and LSN (1, i).
    void writeSegment(SegmentId segment, PageId count, MoxPage::PageType type = MoxPage::DataPage) const {
        std::ofstream file(path(segment), std::ios::binary | std::ios::trunc);
        for (PageId page = 0; page < count; ++page) {
            unsigned char bytes[MOX_PAGE_SIZE] = {};
            MoxPage::PageHeader header = {};
            header.pageId = page;
            header.pageType = type;
            header.lsn = MoxLsn(1, page);
            memcpy(bytes, &header, sizeof(header));
            file.write(reinterpret_cast<const char*>(bytes), sizeof(bytes));
        }
    }

    // The bytes of one page as its file holds them.
    std::string filePage(SegmentId segment, PageId page) const {
        std::ifstream file(path(segment), std::ios::binary);
        std::string bytes(MOX_PAGE_SIZE, '\0');
        file.seekg(static_cast<std::streamoff>(page) * MOX_PAGE_SIZE);
        file.read(bytes.data(), MOX_PAGE_SIZE);
        return file ? bytes : std::string();
    }

    static void writeText(MoxPage* page, const std::string& text) {
        memcpy(page->getPageData() + sizeof(MoxPage::PageHeader), text.c_str(), text.size() + 1);
    }
    static std::string readText(const MoxPage* page) {
        return reinterpret_cast<const char*>(page->getPageData() + sizeof(MoxPage::PageHeader));
    }
    static std::string textIn(const std::string& pageBytes) {
        return pageBytes.empty() ? std::string() : std::string(pageBytes.c_str() + sizeof(MoxPage::PageHeader));
    }

    MoxBufferManager* manager = nullptr;
};

#endif
