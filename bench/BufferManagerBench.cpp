// Costs of the buffer manager's page requests against their floors: a hit
// against the latch operations it must do, a miss against reading the same
// page from the same file directly.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "BenchSupport.h"
#include "MoxBuffer.h"
#include "MoxFile.h"
#include "MoxSupport.h"

namespace {

const SegmentId segment = 1;
// More pages than frames: cycling through them misses every time.
const PageId segmentPages = 2 * MOX_BM_NUM_PAGES;

void writeSegment(const std::string& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (PageId page = 0; page < segmentPages; ++page) {
        unsigned char bytes[MOX_PAGE_SIZE] = {};
        MoxPage::PageHeader header = {};
        header.pageId = page;
        header.pageType = MoxPage::DataPage;
        header.lsn = MoxLsn(1, page);
        memcpy(bytes, &header, sizeof(header));
        file.write(reinterpret_cast<const char*>(bytes), sizeof(bytes));
    }
}

void compareHits(MoxBufferManager* manager) {
    MoxLatch latch;
    THROW_RC(latch.initialize());
    MoxPage* page = nullptr;
    double hit = nanosecondsPerCall(200000, [&] {
        manager->getPage(segment, 0, MoxPage::DataPage, page);
        manager->releasePage(page);
    });
    // A hit takes the pool latch exclusively twice: to fix and to release.
    double latchPairs = nanosecondsPerCall(200000, [&] {
        for (int i = 0; i < 2; ++i) {
            latch.get(MoxLatch::Exclusive);
            latch.release();
        }
    });
    latch.destroy(true);
    printRatio("getPage+releasePage hit vs 2 latch get/release pairs", hit, latchPairs);
}

void compareMisses(MoxBufferManager* manager, const std::string& path) {
    PageId next = 0;
    MoxPage* page = nullptr;
    double miss = nanosecondsPerCall(50000, [&] {
        manager->getPage(segment, next, MoxPage::DataPage, page);
        manager->releasePage(page);
        next = static_cast<PageId>((next + 1) % segmentPages);
    });
    int descriptor = open(path.c_str(), O_RDONLY);
    unsigned char buffer[MOX_PAGE_SIZE];
    next = 0;
    double direct = nanosecondsPerCall(50000, [&] {
        if (pread(descriptor, buffer, sizeof(buffer), static_cast<off_t>(next) * MOX_PAGE_SIZE) != MOX_PAGE_SIZE) {
            perror("pread");
        }
        next = static_cast<PageId>((next + 1) % segmentPages);
    });
    close(descriptor);
    printRatio("getPage+releasePage miss vs pread of the same page", miss, direct);
}

}  // namespace

int main() {
    BenchDatabase database;
    int result = 0;
    try {
        std::string path = database.directory() + "/Seg1.mox";
        writeSegment(path);
        MoxBufferManager::initializeBuffer();
        MoxBufferManager* manager = MoxBufferManager::getInstance();
        manager->openSegment(segment);
        compareHits(manager);
        compareMisses(manager, path);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
        result = 1;
    }
    // The pool can be removed only once this process has left it.
    if (MoxBufferManager::hasInstance()) {
        delete MoxBufferManager::getInstance();
    }
    if (MoxFileManager::hasInstance()) {
        delete MoxFileManager::getInstance();
    }
    return result;
}
