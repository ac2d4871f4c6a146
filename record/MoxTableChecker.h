#ifndef MOX_TABLE_CHECKER_H
#define MOX_TABLE_CHECKER_H

#include <array>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "MoxRecordLayout.h"
#include "TupleId.h"
#include "../support/MoxCheckProblem.h"

// Reads a table's segment page by page and lists every broken rule of its
// pages: inventory pages (count, entries of existing and missing pages, the
// dummy LSN, no page behind the registered ones), data pages (records inside
// the data area, no two overlapping, free slots untyped, every byte outside
// records and directory zero, the cached free-space fields as the page gives
// them), forwarding (one hop to a moved record, and every moved record
// reached by exactly one forwarding slot) and each entry against its page.
//
// Read-only and without locks: each page is copied out of the pool while it
// is fixed and judged on the copy, so that damaged or changing bytes never
// lead a read outside the page. Run beside writing transactions it may
// report what they are in the middle of changing. Needs a started system;
// used by one thread.
class MoxTableChecker : public MoxRecordLayout {
  public:
    // A record as a scan returns it: the TupleId its callers know (the
    // forwarding slot's for a moved record) and its bytes, valid during the
    // call.
    typedef std::function<void(const TupleId&, const unsigned char*, Uint16)> RecordVisitor;

    // tableName names the table in the problems' places.
    MoxTableChecker(SegmentId segment, std::string tableName) : segment(segment), tableName(std::move(tableName)) {}

    // The problems, empty for a sound table; visit, if given, sees every
    // record whose slots are sound. A segment that cannot be opened is a
    // problem of the table.
    MoxCheckProblems check(const RecordVisitor& visit = nullptr);
    // After check: the data pages that exist, ascending, and the number of
    // records a scan returns (primary records and forwarding slots).
    const std::vector<PageId>& dataPages() const { return pages; }
    size_t records() const { return recordCount; }

  private:
    typedef std::array<unsigned char, MOX_PAGE_SIZE> PageCopy;
    enum Presence { Present, Missing, Unreadable };

    void checkSegment();
    void checkInventoryPage(PageId fsiPageId, bool& last);
    void checkDataPage(PageId pageId, const FsiEntry& entry);
    // Checks the slots of a data page; false when a slot is damaged.
    bool checkSlots(PageId pageId, const PageCopy& bytes);
    void checkFreeSpace(PageId pageId, PageCopy& bytes, const FsiEntry& entry);
    void checkForwarding(PageId pageId, SlotId slotId, const Slot& slot);
    // The page's bytes; an unreadable page is reported here.
    Presence read(PageId pageId, MoxPage::PageType type, PageCopy& copy);
    void problem(PageId pageId, const std::string& text);
    void problem(PageId pageId, SlotId slotId, const std::string& text);
    void visitRecord(const TupleId& tid, const PageCopy& bytes, const Slot& slot) const;

    SegmentId segment;
    std::string tableName;
    RecordVisitor visit;
    std::vector<PageId> pages;
    Uint32 pagesEnd = 0;  // behind the last page that exists, by the inventory
    size_t recordCount = 0;
    // Each moved record, with the number of forwarding slots that lead to it.
    std::map<std::pair<PageId, SlotId>, int> movedRecords;
    MoxCheckProblems found;
};

#endif
