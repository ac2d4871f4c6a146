#ifndef MOX_TABLE_PRINTER_H
#define MOX_TABLE_PRINTER_H

#include <ostream>

#include "MoxRecordLayout.h"

// Writes the diagnostic texts of a table's pages: the one-row summary of a
// page under its column heading, and the full content of a data page (header
// values, slots, hex listing) or of an inventory page (its entries). It only
// formats: the caller fixes the page and holds a shared lock on it.
class MoxTablePrinter : public MoxRecordLayout {
  public:
    explicit MoxTablePrinter(std::ostream& out) : out(out) {}

    // "PageType", "PageId", "Number of entries/slots", "Space used".
    void infoHeading();
    // "FSV PAGE" with the count, or "DATA PAGE" with the slots and the share used.
    void infoRow(const MoxPage& page);
    void content(const MoxPage& page);

    // Share of the page in use, in percent: 100 - freeSpace * 100 / 4096.
    static Uint32 percentUsed(Uint16 freeSpace) { return 100 - freeSpace * 100u / MOX_PAGE_SIZE; }

  private:
    void dataContent(const MoxPage& page);
    void inventoryContent(const MoxPage& page);
    void slotLines(const Slot& slot);
    // The page in rows of 16 bytes: row number, bytes in hex, printable characters.
    void hexListing(const unsigned char* bytes);

    std::ostream& out;
};

#endif
