#include "MoxIndexLogEntry.h"

#include <algorithm>
#include <cstring>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

MoxIndexLogEntry::MoxIndexLogEntry(MoxTransactionId transactionId, const PageId* pageId, SegmentId segmentId,
                                   const char* before, int beforeLength, const char* after, int afterLength,
                                   transType type) {
    MOX_TRACE_ENTRY();
    setFields(transactionId, pageId, segmentId, before, beforeLength, after, afterLength, type);
}

MoxIndexLogEntry::MoxIndexLogEntry(const MoxIndexLogEntry* other) : MoxIndexLogEntry(*other) {}

MoxIndexLogEntry::MoxIndexLogEntry(const MoxIndexLogEntry& other) : MoxAbstractLogEntry(other) {
    MOX_TRACE_ENTRY();
    *this = other;
}

MoxIndexLogEntry& MoxIndexLogEntry::operator=(const MoxIndexLogEntry& other) {
    MOX_TRACE_ENTRY();
    if (this != &other) {
        setFields(other.transactionID, other.getPageID(), other.segmentID, other.getBeforePage(), other.bpl,
                  other.getAfterPage(), other.apl, other.transactionType);
        length = other.length;
        sLsn = other.sLsn;
        sPrevLsn = other.sPrevLsn;
    }
    return *this;
}

void MoxIndexLogEntry::setFields(MoxTransactionId transactionId, const PageId* pageId, SegmentId segmentId,
                                 const char* before, int beforeLength, const char* after, int afterLength, int type) {
    MOX_TRACE_ENTRY();
    try {
        // Both images are copied before anything changes, so a refused one
        // leaves the entry as it was.
        std::unique_ptr<char[]> beforeCopy = copyImage(before, beforeLength);
        std::unique_ptr<char[]> afterCopy = copyImage(after, afterLength);
        setCommonFields(transactionId, type);
        pageID = pageId == nullptr ? nullptr : std::make_unique<PageId>(*pageId);
        segmentID = segmentId;
        beforePage = std::move(beforeCopy);
        bpl = beforeLength;
        afterPage = std::move(afterCopy);
        apl = afterLength;
        buildTextForms();
    } catch (const MoxException&) {
        THROW(MOX_LOGM_INDEX_INIT_FAILED);
    }
}

void MoxIndexLogEntry::buildTextForms() {
    MOX_TRACE_ENTRY();
    spageID = pageID == nullptr ? std::string() : std::to_string(*pageID);
    sSegmId = std::to_string(segmentID);
    sBefImgLength = std::to_string(bpl);
    sAftImgLength = std::to_string(apl);
}

char* MoxIndexLogEntry::serialize() {
    MOX_TRACE_ENTRY();
    return serializeFields('I', {spageID, sSegmId, sBefImgLength, std::string_view(beforePage.get(), bpl),
                                 sAftImgLength, std::string_view(afterPage.get(), apl), sTT});
}

void MoxIndexLogEntry::setBpl(int length) {
    MOX_TRACE_ENTRY();
    resizeImage(beforePage, bpl, length);
    buildTextForms();
}

void MoxIndexLogEntry::setApl(int length) {
    MOX_TRACE_ENTRY();
    resizeImage(afterPage, apl, length);
    buildTextForms();
}

void MoxIndexLogEntry::setAfterPage(const char* page) {
    MOX_TRACE_ENTRY();
    std::unique_ptr<char[]> copy = copyImage(page, apl);
    afterPage = std::move(copy);
}

void MoxIndexLogEntry::resizeImage(std::unique_ptr<char[]>& image, int& imageLength, int newLength) {
    MOX_TRACE_ENTRY();
    if (newLength < 0) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, newLength);
    }
    std::unique_ptr<char[]> resized(new char[newLength + 1]());
    if (image != nullptr) {
        memcpy(resized.get(), image.get(), std::min(imageLength, newLength));
    }
    image = std::move(resized);
    imageLength = newLength;
}
