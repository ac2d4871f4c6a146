#ifndef MOX_SCOPED_PAGE_H
#define MOX_SCOPED_PAGE_H

#include "MoxPage.h"

// Holds one page fix of the process's buffer manager for the life of a
// scope: fixes in the constructor (a failure there is thrown and leaves no
// fix), releases in the destructor. Owned by one caller; pass it on in an
// owning single-holder smart pointer, never by copy.
class MoxScopedPage {
  public:
    enum Operation { GetExistingPage = 0, CreateNewPage = 1 };

    // CreateNewPage makes the page with LSN (0,0).
    MoxScopedPage(SegmentId segmentId, PageId pageId, MoxPage::PageType pageType, Operation operation);
    // A failed release is recorded in the error object, never thrown.
    ~MoxScopedPage();
    MoxScopedPage(const MoxScopedPage&) = delete;
    MoxScopedPage& operator=(const MoxScopedPage&) = delete;

    MoxPage* getPage() const { return page; }
    MoxPage* operator->() const { return page; }

  private:
    MoxPage* page;
};

#endif
