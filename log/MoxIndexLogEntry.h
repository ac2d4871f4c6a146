#ifndef MOX_INDEX_LOG_ENTRY_H
#define MOX_INDEX_LOG_ENTRY_H

#include "MoxAbstractLogEntry.h"

// A B-tree page change, logged physically: the whole page before and after.
// Transaction ends carry no page id, segment 0 and no images.
//
// Serialised: "I;" lsn ";" prevLsn ";" tid ";" page ";" segment ";" n ";"
// n image bytes ";" m ";" m image bytes ";" type ";", the page empty for none.
class MoxIndexLogEntry : public MoxAbstractLogEntry {
  public:
    // An empty entry for the log analysis to fill.
    MoxIndexLogEntry() = default;
    // Copies the page id and the images; a null image must have length 0. A
    // failure throws MOX_LOGM_INDEX_INIT_FAILED.
    MoxIndexLogEntry(MoxTransactionId transactionId, const PageId* pageID, SegmentId segmentId, const char* beforePage,
                     int bpl, const char* afterPage, int apl, transType type);
    explicit MoxIndexLogEntry(const MoxIndexLogEntry* other);
    MoxIndexLogEntry(const MoxIndexLogEntry& other);
    MoxIndexLogEntry(MoxIndexLogEntry&&) = default;
    MoxIndexLogEntry& operator=(const MoxIndexLogEntry& other);
    MoxIndexLogEntry& operator=(MoxIndexLogEntry&&) = default;

    char* serialize() override;

    // The field setting of the constructor, also for filling an empty entry.
    void setFields(MoxTransactionId transactionId, const PageId* pageId, SegmentId segmentId, const char* before,
                   int beforeLength, const char* after, int afterLength, int type);

    const PageId* getPageID() const { return pageID.get(); }
    SegmentId getSegmentID() const { return segmentID; }
    // The page bytes followed by a zero byte; null when there is none.
    const char* getBeforePage() const { return beforePage.get(); }
    int getBpl() const { return bpl; }
    const char* getAfterPage() const { return afterPage.get(); }
    int getApl() const { return apl; }
    // Resize an image, keeping its leading bytes and zero-filling new ones,
    // so that the length never claims more bytes than the entry holds.
    void setBpl(int length);
    void setApl(int length);
    // Copies getApl() bytes of page as the after image.
    void setAfterPage(const char* page);

  private:
    static void resizeImage(std::unique_ptr<char[]>& image, int& imageLength, int newLength);
    void buildTextForms();

    std::unique_ptr<PageId> pageID;
    SegmentId segmentID = 0;
    // The raw copies, zero-terminated, also serve as the images' text forms.
    std::unique_ptr<char[]> beforePage;
    int bpl = 0;
    std::unique_ptr<char[]> afterPage;
    int apl = 0;
    std::string spageID;
    std::string sSegmId;
    std::string sBefImgLength;
    std::string sAftImgLength;
};

#endif
