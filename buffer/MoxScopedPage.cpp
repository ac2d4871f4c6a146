#include "MoxScopedPage.h"

#include "MoxBufferManager.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = BufferManager;

MoxScopedPage::MoxScopedPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, Operation operation)
    : page(nullptr) {
    MOX_TRACE_ENTRY();
    switch (operation) {
        case GetExistingPage:
            MoxBufferManager::getInstance()->getPage(segmentId, pageId, pageType, page);
            break;
        case CreateNewPage:
            MoxBufferManager::getInstance()->getNewPage(segmentId, pageId, pageType, MoxLsn::dummyLSN(), page);
            break;
        default:
            THROW(MOX_INTERNAL_FAIL);
    }
}

MoxScopedPage::~MoxScopedPage() {
    MOX_TRACE_ENTRY();
    if (page == nullptr) {
        return;
    }
    try {
        MoxBufferManager::getInstance()->releasePage(page);
    } catch (const MoxException& exception) {
        exception.SET_ERROR();
        MOX_TRACE_ERROR();
    }
}
