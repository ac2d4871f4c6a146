#ifndef MOX_TABLE_CHECKER_H
#define MOX_TABLE_CHECKER_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "MoxRecordManager.h"

// Walks a table's segment through the buffer pool and lists every broken
// rule of its pages: inventory pages (count, entries of existing and missing
// pages, no page behind the registered ones), data pages (records inside the
// data area, no two overlapping, free slots zero, every byte outside records
// and directory zero, cached free-space fields as a recomputation gives
// them), forwarding (one hop to a moved record, and every moved record
// reached by exactly one forwarding slot) and each entry against its page.
// Takes no lock: run it when no other transaction changes the table.
class TableChecker {
  public:
    typedef MoxRecordLayout L;

    explicit TableChecker(SegmentId segment) : segment(segment) {}

    // The problems, each naming its page; empty for a sound table.
    std::vector<std::string> problems();
    // Data pages that exist, in ascending order.
    const std::vector<PageId>& dataPages() const { return pages; }
    // The records a scan returns: primary records and forwarding slots.
    size_t records() const { return recordCount; }

  private:
    void checkInventoryPage(PageId fsiPageId, bool& last);
    void checkDataPage(PageId pageId, const L::FsiEntry& entry);
    void checkForwarding(PageId pageId, SlotId slotId, const L::Slot& slot);
    bool pageExists(PageId pageId, MoxPage::PageType type);
    void problem(PageId pageId, const std::string& text);

    SegmentId segment;
    std::vector<PageId> pages;
    Uint32 pagesEnd = 0;  // behind the last page that exists, by the inventory
    size_t recordCount = 0;
    // Each moved record, with the number of forwarding slots that lead to it.
    std::map<std::pair<PageId, SlotId>, int> movedRecords;
    std::vector<std::string> found;
};

#endif
