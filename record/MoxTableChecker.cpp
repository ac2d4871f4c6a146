#include "MoxTableChecker.h"

#include <cstring>

#include "MoxRecordManager.h"
#include "MoxSlottedPage.h"
#include "../buffer/MoxBufferManager.h"
#include "../buffer/MoxScopedPage.h"
#include "../file/MoxFileManager.h"
#include "../support/MoxException.h"

namespace {

std::string blocks(Uint16 total, Uint16 block, Uint16 offset) {
    return std::to_string(total) + "/" + std::to_string(block) + "@" + std::to_string(offset);
}

}  // namespace

MoxCheckProblems MoxTableChecker::check(const RecordVisitor& visitor) {
    visit = visitor;
    found.clear();
    pages.clear();
    movedRecords.clear();
    pagesEnd = 0;
    recordCount = 0;
    try {
        checkSegment();
    } catch (const MoxException& exception) {
        found.push_back(
            {"table " + tableName, "cannot be checked (code " + std::to_string(exception.getErrorCode()) + ")"});
    }
    return found;
}

void MoxTableChecker::checkSegment() {
    MoxBufferManager::getInstance()->openSegment(segment);
    bool last = false;
    for (Uint32 fsiPageId = 0; !last && fsiPageId <= LAST_FSI_PAGE; fsiPageId += FSI_PAGE_DISTANCE) {
        checkInventoryPage(static_cast<PageId>(fsiPageId), last);
    }
    Uint64 bytes = 0;
    THROW_RC(MoxFileManager::getInstance()->getSize(segment, bytes));
    if (bytes / MOX_PAGE_SIZE > pagesEnd) {
        problem(static_cast<PageId>(pagesEnd), "the file holds pages behind the last registered one");
    }
    for (const auto& [place, forwardings] : movedRecords) {
        if (forwardings == 0) {
            problem(place.first, place.second, "moved record without a forwarding slot");
        } else if (forwardings > 1) {
            problem(place.first, place.second,
                    "moved record reached by " + std::to_string(forwardings) + " forwarding slots");
        }
    }
}

void MoxTableChecker::problem(PageId pageId, const std::string& text) {
    found.push_back({"table " + tableName + " page " + std::to_string(pageId), text});
}

void MoxTableChecker::problem(PageId pageId, SlotId slotId, const std::string& text) {
    found.push_back(
        {"table " + tableName + " page " + std::to_string(pageId) + " slot " + std::to_string(slotId), text});
}

MoxTableChecker::Presence MoxTableChecker::read(PageId pageId, MoxPage::PageType type, PageCopy& copy) {
    try {
        MoxScopedPage page(segment, pageId, type, MoxScopedPage::GetExistingPage);
        memcpy(copy.data(), page->getPageData(), MOX_PAGE_SIZE);
        return Present;
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() == MOX_BM_PAGE_NOT_FOUND) return Missing;
        problem(pageId, "unreadable page (code " + std::to_string(exception.getErrorCode()) + ")");
        return Unreadable;
    }
}

void MoxTableChecker::checkInventoryPage(PageId fsiPageId, bool& last) {
    last = true;
    PageCopy bytes;
    Presence presence = read(fsiPageId, MoxPage::FreeSpaceInventoryPage, bytes);
    if (presence == Missing) {
        PageCopy data;
        if (read(static_cast<PageId>(fsiPageId + 1), MoxPage::DataPage, data) == Present) {
            problem(static_cast<PageId>(fsiPageId + 1), "exists without its inventory page");
        }
        return;
    }
    pagesEnd = fsiPageId + 1u;
    if (presence == Unreadable) return;
    const FsiPage* fsi = reinterpret_cast<const FsiPage*>(bytes.data());
    if (fsi->countEntries > MAX_FSI_ENTRIES) {
        problem(fsiPageId, "inventory count " + std::to_string(fsi->countEntries) + " exceeds 254");
        return;
    }
    if (!(fsi->pageHeader.lsn == MoxLsn::dummyLSN())) problem(fsiPageId, "inventory page with a logged LSN");
    for (Uint32 entry = 0; entry < MAX_FSI_ENTRIES && fsiPageId + entry + 1 <= MOX_MAX_PAGE_ID; ++entry) {
        const PageId pageId = static_cast<PageId>(fsiPageId + entry + 1);
        const FsiEntry value = fsi->pageInfo[entry];
        if (entry >= fsi->countEntries) {
            if (value.freeSpace != 0 || value.freeSpaceBlock != 254) {
                problem(pageId, "inventory entry behind the count is not the missing-page marker");
            }
            continue;
        }
        pagesEnd = pageId + 1u;
        if (!MoxRecordManager::pageAlreadyExists(value)) {
            problem(pageId, "counted in the inventory but marked missing");
            continue;
        }
        checkDataPage(pageId, value);
    }
    last = fsi->countEntries < MAX_FSI_ENTRIES;
}

void MoxTableChecker::checkDataPage(PageId pageId, const FsiEntry& entry) {
    PageCopy bytes;
    Presence presence = read(pageId, MoxPage::DataPage, bytes);
    if (presence == Missing) problem(pageId, "registered in the inventory but missing");
    if (presence != Present) return;
    pages.push_back(pageId);
    if (checkSlots(pageId, bytes)) checkFreeSpace(pageId, bytes, entry);
}

bool MoxTableChecker::checkSlots(PageId pageId, const PageCopy& bytes) {
    const MoxSlottedPage page(const_cast<unsigned char*>(bytes.data()));
    const unsigned directoryEnd = MoxSlottedPage::directoryEnd(page.numberOfSlots());
    std::vector<bool> covered(MOX_PAGE_SIZE, false);
    for (unsigned i = 0; i < directoryEnd; ++i) covered[i] = true;
    bool sound = true;
    for (unsigned id = 0; id < page.numberOfSlots(); ++id) {
        const SlotId slotId = static_cast<SlotId>(id);
        const Slot& slot = page.slot(slotId);
        if (MoxSlottedPage::isFree(slot)) {
            if (slot.recordType != PrimaryRecord) {
                problem(pageId, slotId, "free slot with a record type");
                sound = false;
            }
            continue;
        }
        if (slot.recordType == PlaceHolderTid) {
            ++recordCount;
            checkForwarding(pageId, slotId, slot);
            continue;
        }
        if (slot.recordType != PrimaryRecord && slot.recordType != SecondaryRecord) {
            problem(pageId, slotId, "unknown record type " + std::to_string(unsigned(slot.recordType)));
            sound = false;
            continue;
        }
        if (slot.recordLength == 0 || slot.offset < directoryEnd || slot.offset + slot.recordLength > MOX_PAGE_SIZE) {
            problem(pageId, slotId, "record outside the data area");
            sound = false;
            continue;
        }
        for (unsigned i = slot.offset; i < unsigned(slot.offset) + slot.recordLength; ++i) {
            if (covered[i]) {
                problem(pageId, slotId, "record overlaps another at byte " + std::to_string(i));
                sound = false;
                break;
            }
            covered[i] = true;
        }
        if (slot.recordType == SecondaryRecord) {
            movedRecords[{pageId, slotId}] += 0;
        } else {
            ++recordCount;
            visitRecord(TupleId{pageId, slotId, 0}, bytes, slot);
        }
    }
    for (unsigned i = sizeof(SlotPageHeader); i < MOX_PAGE_SIZE; ++i) {
        if (!covered[i] && bytes[i] != 0) {
            problem(pageId, "stray byte at offset " + std::to_string(i));
            break;
        }
    }
    return sound;
}

void MoxTableChecker::checkFreeSpace(PageId pageId, PageCopy& bytes, const FsiEntry& entry) {
    MoxSlottedPage page(bytes.data());
    const SlotPageHeader cached = page.header();
    Uint16 blockOffset = 0;
    Uint16 blockSize = 0;
    page.largestFreeBlock(blockOffset, blockSize);
    Uint16 freeSpace = 0;
    try {
        freeSpace = page.freeSpace();
    } catch (const MoxException& exception) {
        // Records may lie in the reserved directory entry, and then add up
        // to more than the free-space count allows.
        problem(pageId, "free space cannot be counted (code " + std::to_string(exception.getErrorCode()) + ")");
        return;
    }
    if (cached.freeSpace != freeSpace || cached.consecFreeSpace != blockSize ||
        cached.consecFreeSpaceOffset != blockOffset) {
        problem(pageId, "free-space fields " +
                            blocks(cached.freeSpace, cached.consecFreeSpace, cached.consecFreeSpaceOffset) +
                            " but the page has " + blocks(freeSpace, blockSize, blockOffset));
    }
    if (entry.freeSpace != freeSpace / FSI_BLOCK_SIZE || entry.freeSpaceBlock != blockSize / FSI_BLOCK_SIZE) {
        problem(pageId, "inventory entry " + std::to_string(entry.freeSpace) + "/" +
                            std::to_string(entry.freeSpaceBlock) + " but the page has " +
                            std::to_string(freeSpace / FSI_BLOCK_SIZE) + "/" +
                            std::to_string(blockSize / FSI_BLOCK_SIZE));
    }
}

void MoxTableChecker::checkForwarding(PageId pageId, SlotId slotId, const Slot& slot) {
    const TupleId target{slot.offset, static_cast<SlotId>(slot.recordLength & 0xFF), 0};
    const std::string to = "forwarding to page " + std::to_string(target.page) + " slot " + std::to_string(target.slot);
    PageCopy bytes;
    if (target.page == 0 || MoxRecordManager::isFsiPage(target.page) ||
        read(target.page, MoxPage::DataPage, bytes) != Present) {
        problem(pageId, slotId, to + ", which is no data page");
        return;
    }
    const MoxSlottedPage page(bytes.data());
    if (target.slot >= page.numberOfSlots() || MoxSlottedPage::isFree(page.slot(target.slot))) {
        problem(pageId, slotId, to + ", which holds no moved record");
        return;
    }
    const Slot& targetSlot = page.slot(target.slot);
    if (targetSlot.recordType == PlaceHolderTid) {
        problem(pageId, slotId, to + ", which forwards again");
        return;
    }
    if (targetSlot.recordType != SecondaryRecord) {
        problem(pageId, slotId, to + ", which holds no moved record");
        return;
    }
    movedRecords[{target.page, target.slot}] += 1;
    const unsigned directoryEnd = MoxSlottedPage::directoryEnd(page.numberOfSlots());
    if (targetSlot.recordLength > 0 && targetSlot.offset >= directoryEnd &&
        targetSlot.offset + targetSlot.recordLength <= MOX_PAGE_SIZE) {
        visitRecord(TupleId{pageId, slotId, 0}, bytes, targetSlot);
    }
}

void MoxTableChecker::visitRecord(const TupleId& tid, const PageCopy& bytes, const Slot& slot) const {
    if (visit) visit(tid, bytes.data() + slot.offset, slot.recordLength);
}
