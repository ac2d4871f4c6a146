#include "TableChecker.h"

#include <algorithm>
#include <utility>

#include "MoxBuffer.h"
#include "MoxFile.h"
#include "MoxSupport.h"
#include "PageModel.h"

std::vector<std::string> TableChecker::problems() {
    MoxBufferManager::getInstance()->openSegment(segment);
    found.clear();
    pages.clear();
    movedRecords.clear();
    pagesEnd = 0;
    recordCount = 0;
    bool last = false;
    for (Uint32 fsiPageId = 0; !last && fsiPageId <= L::LAST_FSI_PAGE; fsiPageId += L::FSI_PAGE_DISTANCE) {
        checkInventoryPage(static_cast<PageId>(fsiPageId), last);
    }
    Uint64 bytes = 0;
    MoxFileManager::getInstance()->getSize(segment, bytes);
    const Uint64 registeredEnd = pagesEnd;
    if (bytes / MOX_PAGE_SIZE > registeredEnd) {
        problem(static_cast<PageId>(registeredEnd), "the file holds pages behind the last registered one");
    }
    for (const auto& [place, forwardings] : movedRecords) {
        if (forwardings != 1) {
            problem(place.first, "moved record in slot " + std::to_string(place.second) + " is reached by " +
                                     std::to_string(forwardings) + " forwarding slots");
        }
    }
    return found;
}

void TableChecker::problem(PageId pageId, const std::string& text) {
    found.push_back("page " + std::to_string(pageId) + ": " + text);
}

bool TableChecker::pageExists(PageId pageId, MoxPage::PageType type) {
    try {
        MoxScopedPage page(segment, pageId, type, MoxScopedPage::GetExistingPage);
        return true;
    } catch (const MoxException& exception) {
        if (exception.getErrorCode() != MOX_BM_PAGE_NOT_FOUND) {
            problem(pageId, "cannot be fixed, code " + std::to_string(exception.getErrorCode()));
            return true;
        }
    }
    return false;
}

void TableChecker::checkInventoryPage(PageId fsiPageId, bool& last) {
    last = true;
    if (!pageExists(fsiPageId, MoxPage::FreeSpaceInventoryPage)) {
        if (pageExists(static_cast<PageId>(fsiPageId + 1), MoxPage::DataPage)) {
            problem(static_cast<PageId>(fsiPageId + 1), "exists without its inventory page");
        }
        return;
    }
    MoxScopedPage page(segment, fsiPageId, MoxPage::FreeSpaceInventoryPage, MoxScopedPage::GetExistingPage);
    pagesEnd = fsiPageId + 1u;
    const L::FsiPage* fsi = reinterpret_cast<const L::FsiPage*>(page->getPageData());
    if (fsi->countEntries > L::MAX_FSI_ENTRIES) {
        problem(fsiPageId, "count " + std::to_string(fsi->countEntries));
        return;
    }
    if (!(page->getLsn() == MoxLsn::dummyLSN())) {
        problem(fsiPageId, "inventory page with a logged LSN");
    }
    for (Uint32 entry = 0; entry < L::MAX_FSI_ENTRIES && fsiPageId + entry + 1 <= MOX_MAX_PAGE_ID; ++entry) {
        const PageId pageId = static_cast<PageId>(fsiPageId + entry + 1);
        const L::FsiEntry value = fsi->pageInfo[entry];
        if (entry < fsi->countEntries) {
            if (!MoxRecordManager::pageAlreadyExists(value)) {
                problem(pageId, "counted but marked as missing");
            } else if (!pageExists(pageId, MoxPage::DataPage)) {
                problem(pageId, "registered but missing");
            } else {
                pages.push_back(pageId);
                pagesEnd = pageId + 1u;
                checkDataPage(pageId, value);
            }
        } else {
            if (value.freeSpace != 0 || value.freeSpaceBlock != 254) {
                problem(pageId, "entry behind the count is not the missing-page marker");
            }
        }
    }
    last = fsi->countEntries < L::MAX_FSI_ENTRIES;
}

void TableChecker::checkDataPage(PageId pageId, const L::FsiEntry& entry) {
    MoxScopedPage page(segment, pageId, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    const unsigned char* bytes = page->getPageData();
    const L::SlotPageHeader* header = reinterpret_cast<const L::SlotPageHeader*>(bytes);
    const L::Slot* slots = reinterpret_cast<const L::Slot*>(bytes + sizeof(L::SlotPageHeader));
    const unsigned slotCount = header->numberOfSlots;
    const unsigned directoryEnd = sizeof(L::SlotPageHeader) + 8 * slotCount;
    std::vector<bool> covered(MOX_PAGE_SIZE, false);
    for (unsigned i = 0; i < directoryEnd; ++i) covered[i] = true;
    for (unsigned id = 0; id < slotCount; ++id) {
        const L::Slot& slot = slots[id];
        const std::string name = "slot " + std::to_string(id) + " ";
        if (slot.offset == 0 && slot.recordLength == 0) {
            if (slot.recordType != 0) problem(pageId, name + "is free but typed");
            continue;
        }
        if (slot.recordType == L::PlaceHolderTid) {
            ++recordCount;
            checkForwarding(pageId, static_cast<SlotId>(id), slot);
            continue;
        }
        if (slot.recordType != L::PrimaryRecord && slot.recordType != L::SecondaryRecord) {
            problem(pageId, name + "has type " + std::to_string(unsigned(slot.recordType)));
            continue;
        }
        if (slot.recordType == L::SecondaryRecord) {
            movedRecords[{pageId, static_cast<SlotId>(id)}] += 0;
        } else {
            ++recordCount;
        }
        if (slot.recordLength == 0 || slot.offset < directoryEnd || slot.offset + slot.recordLength > MOX_PAGE_SIZE) {
            problem(pageId, name + "outside the data area");
            continue;
        }
        for (unsigned i = slot.offset; i < unsigned(slot.offset) + slot.recordLength; ++i) {
            if (covered[i]) {
                problem(pageId, name + "overlaps at byte " + std::to_string(i));
                break;
            }
            covered[i] = true;
        }
    }
    for (unsigned i = sizeof(L::SlotPageHeader); i < MOX_PAGE_SIZE; ++i) {
        if (!covered[i] && bytes[i] != 0) {
            problem(pageId, "stray byte at " + std::to_string(i));
            break;
        }
    }
    PageModel model = PageModel::of(bytes);
    if (header->freeSpace != model.freeSpace || header->consecFreeSpace != model.blockSize ||
        header->consecFreeSpaceOffset != model.blockOffset) {
        problem(pageId, "cached free space " + std::to_string(header->freeSpace) + "/" +
                            std::to_string(header->consecFreeSpace) + "@" +
                            std::to_string(header->consecFreeSpaceOffset) + " but " + std::to_string(model.freeSpace) +
                            "/" + std::to_string(model.blockSize) + "@" + std::to_string(model.blockOffset));
    }
    if (entry.freeSpace != model.freeSpace / 16 || entry.freeSpaceBlock != model.blockSize / 16) {
        problem(pageId, "inventory entry " + std::to_string(entry.freeSpace) + "/" +
                            std::to_string(entry.freeSpaceBlock) + " does not match the page");
    }
}

void TableChecker::checkForwarding(PageId pageId, SlotId slotId, const L::Slot& slot) {
    const std::string name = "forwarding slot " + std::to_string(slotId) + " ";
    const PageId targetPage = slot.offset;
    const SlotId targetSlot = static_cast<SlotId>(slot.recordLength & 0xFF);
    if (targetPage == 0 || MoxRecordManager::isFsiPage(targetPage) || !pageExists(targetPage, MoxPage::DataPage)) {
        problem(pageId, name + "leads to no data page");
        return;
    }
    MoxScopedPage target(segment, targetPage, MoxPage::DataPage, MoxScopedPage::GetExistingPage);
    const unsigned char* bytes = target->getPageData();
    const L::SlotPageHeader* header = reinterpret_cast<const L::SlotPageHeader*>(bytes);
    const L::Slot* slots = reinterpret_cast<const L::Slot*>(bytes + sizeof(L::SlotPageHeader));
    if (targetSlot >= header->numberOfSlots || slots[targetSlot].recordType != L::SecondaryRecord) {
        problem(pageId, name + "does not lead to a moved record");
        return;
    }
    movedRecords[{targetPage, targetSlot}] += 1;
}
