#include "MoxTablePrinter.h"

#include <cctype>
#include <iomanip>

#include "MoxSlottedPage.h"

namespace {

// Summary columns, left-aligned, separated by "| ".
const int typeWidth = 12;
const int pageWidth = 12;
const int countWidth = 30;
const int usedWidth = 10;

const char* boolText(bool value) {
    return value ? "true" : "false";
}

// An unsigned byte as a number, not as a character.
unsigned number(Uint8 value) {
    return value;
}

}  // namespace

void MoxTablePrinter::infoHeading() {
    out << std::left << std::setw(typeWidth) << "PageType"
        << "| " << std::setw(pageWidth) << "PageId"
        << "| " << std::setw(countWidth) << "Number of entries/slots"
        << "| " << std::setw(usedWidth) << "Space used" << '\n'
        << std::right;
}

void MoxTablePrinter::infoRow(const MoxPage& page) {
    const unsigned char* bytes = page.getPageData();
    out << std::left;
    if (page.getPageType() == MoxPage::FreeSpaceInventoryPage) {
        const FsiPage* fsi = reinterpret_cast<const FsiPage*>(bytes);
        out << std::setw(typeWidth) << "FSV PAGE"
            << "| " << std::setw(pageWidth) << page.getPageId() << "| " << std::setw(countWidth) << fsi->countEntries
            << '\n';
    } else {
        const SlotPageHeader* header = reinterpret_cast<const SlotPageHeader*>(bytes);
        std::string used = std::to_string(percentUsed(header->freeSpace)) + "%";
        out << std::setw(typeWidth) << "DATA PAGE"
            << "| " << std::setw(pageWidth) << page.getPageId() << "| " << std::setw(countWidth)
            << number(header->numberOfSlots) << "| " << std::setw(usedWidth) << used << '\n';
    }
    out << std::right;
}

void MoxTablePrinter::content(const MoxPage& page) {
    if (page.getPageType() == MoxPage::FreeSpaceInventoryPage) {
        inventoryContent(page);
    } else {
        dataContent(page);
    }
    out << "END PAGE DUMP\n";
}

void MoxTablePrinter::dataContent(const MoxPage& page) {
    MoxSlottedPage view(const_cast<unsigned char*>(page.getPageData()), page.getSegmentId());
    const SlotPageHeader& header = view.header();
    out << "DATA PAGE DUMP\n"
        << "SegmentId: " << page.getSegmentId() << '\n'
        << "PageId: " << page.getPageId() << '\n'
        << "PageType: " << header.pageHeader.pageType << '\n'
        << "LSN: " << page.getLsn() << '\n'
        << "IsDirty: " << boolText(page.isDirty()) << '\n'
        << "IsFix: " << boolText(page.isFix()) << '\n'
        << "Length of biggest Consecutive Free Space block: " << header.consecFreeSpace << '\n'
        << "Offset of biggest Consecutive Free Space block: 0x" << std::hex << std::uppercase
        << header.consecFreeSpaceOffset << std::dec << std::nouppercase << '\n'
        << "Free Space: " << header.freeSpace << '\n'
        << "Space used: " << percentUsed(header.freeSpace) << "%\n"
        << "Number of Slots: " << number(header.numberOfSlots) << '\n';
    for (Uint16 id = 0; id < header.numberOfSlots; ++id) {
        out << "\tSlotID: " << id << '\n';
        slotLines(view.slot(static_cast<SlotId>(id)));
        out << "\t------------------------\n";
    }
    out << "PageData:\n";
    hexListing(page.getPageData());
}

void MoxTablePrinter::slotLines(const Slot& slot) {
    if (MoxSlottedPage::isFree(slot)) {
        out << "\tEmpty Slot\n";
        return;
    }
    if (slot.recordType == PlaceHolderTid) {
        out << "\tRecord Offset (used as Secondary PageId): " << slot.offset << '\n'
            << "\tRecord Length (used as Secondary SlotId): " << (slot.recordLength & 0xFF) << '\n'
            << "\tRecord Type: PlaceholderTID \n";
        return;
    }
    out << "\tRecord Offset: " << slot.offset << '\n' << "\tRecord Length: " << slot.recordLength << '\n';
    switch (slot.recordType) {
        case PrimaryRecord:
            out << "\tRecord Type: Primary Record \n";
            break;
        case SecondaryRecord:
            out << "\tRecord Type: Secondary Record \n";
            break;
        default:
            out << "\tRecord Type: " << number(slot.recordType) << '\n';
    }
}

void MoxTablePrinter::hexListing(const unsigned char* bytes) {
    const int rowLength = 16;
    out << '\t';
    for (int column = 0; column < rowLength; ++column) {
        out << ' ' << std::hex << std::uppercase << column << std::dec << ' ';
    }
    out << '\n';
    for (int row = 0; row < MOX_PAGE_SIZE / rowLength; ++row) {
        const unsigned char* rowBytes = bytes + row * rowLength;
        out << std::hex << std::uppercase << std::setfill('0') << std::setw(2) << row << ":\t";
        for (int column = 0; column < rowLength; ++column) {
            out << std::setw(2) << static_cast<unsigned>(rowBytes[column]) << ' ';
        }
        out << std::dec << std::nouppercase << std::setfill(' ') << '\t';
        for (int column = 0; column < rowLength; ++column) {
            out << (std::isprint(rowBytes[column]) ? static_cast<char>(rowBytes[column]) : ' ');
        }
        out << '\n';
    }
}

void MoxTablePrinter::inventoryContent(const MoxPage& page) {
    const FsiPage* fsi = reinterpret_cast<const FsiPage*>(page.getPageData());
    out << "FSV PAGE DUMP\n"
        << "PageId: " << page.getPageId() << '\n'
        << "PageType: " << fsi->pageHeader.pageType << '\n'
        << "IsDirty: " << boolText(page.isDirty()) << '\n'
        << "IsFix: " << boolText(page.isFix()) << '\n'
        << "Entries Count: " << fsi->countEntries << '\n';
    for (Uint32 entry = 0; entry < MAX_FSI_ENTRIES; ++entry) {
        out << "FSI for page " << page.getPageId() + entry + 1 << ": " << number(fsi->pageInfo[entry].freeSpace)
            << " Freespace block:" << number(fsi->pageInfo[entry].freeSpaceBlock) << '\n';
    }
}
