#ifndef MOX_RECORD_LOG_ENTRY_H
#define MOX_RECORD_LOG_ENTRY_H

#include "MoxAbstractLogEntry.h"
#include "../record/TupleId.h"

// A record change, logged logically: the tuple ids involved and the record's
// bytes before and after. Written by the record manager; transaction ends
// carry segment 0, no images and no tuple ids.
//
// Serialised: "R;" lsn ";" prevLsn ";" tid ";" primary ";" oldSecondary ";"
// newSecondary ";" segment ";" n ";" n image bytes ";" m ";" m image bytes ";"
// type ";", where a tuple id is "page,slot" or empty.
class MoxRecordLogEntry : public MoxAbstractLogEntry {
  public:
    // An empty entry for the log analysis to fill.
    MoxRecordLogEntry() = default;
    // Copies the images and tuple ids; a null image must have length 0. A
    // failure throws MOX_LOGM_RECORD_INIT_FAILED.
    MoxRecordLogEntry(MoxTransactionId transactionId, SegmentId segmentId, const char* beforeImage, int befImgLength,
                      const char* afterImage, int aftImgLength, transType type, const TupleId* primTupelID,
                      const TupleId* oldSecTID, const TupleId* newSecTID);
    MoxRecordLogEntry(const MoxRecordLogEntry& other);
    MoxRecordLogEntry(MoxRecordLogEntry&&) = default;
    MoxRecordLogEntry& operator=(const MoxRecordLogEntry& other);
    MoxRecordLogEntry& operator=(MoxRecordLogEntry&&) = default;

    char* serialize() override;

    // The field setting of the constructor, also for filling an empty entry.
    void setFields(MoxTransactionId transactionId, SegmentId segmentId, const char* beforeImage, int befImgLength,
                   const char* afterImage, int aftImgLength, int type, const TupleId* primTupelID,
                   const TupleId* oldSecTID, const TupleId* newSecTID);

    const TupleId* getPrimTupelID() const { return primTupelID.get(); }
    const TupleId* getOldSecTID() const { return oldSecTID.get(); }
    const TupleId* getNewSecTID() const { return newSecTID.get(); }
    SegmentId getSegmentID() const { return segmentID; }
    // The image bytes followed by a zero byte; null when there is none.
    const char* getBeforeImage() const { return beforeImage.get(); }
    int getBefImgLength() const { return befImgLength; }
    const char* getAfterImage() const { return afterImage.get(); }
    int getAftImgLength() const { return aftImgLength; }

  private:
    static std::unique_ptr<const TupleId> copyTupleId(const TupleId* tupleId);
    // "page,slot", or empty for none.
    static std::string tupleIdText(const TupleId* tupleId);

    std::unique_ptr<const TupleId> primTupelID;
    std::unique_ptr<const TupleId> oldSecTID;
    std::unique_ptr<const TupleId> newSecTID;
    SegmentId segmentID = 0;
    // The raw copies, zero-terminated, also serve as the images' text forms.
    std::unique_ptr<char[]> beforeImage;
    int befImgLength = 0;
    std::unique_ptr<char[]> afterImage;
    int aftImgLength = 0;
    std::string sPrimTup;
    std::string sOldTup;
    std::string sNewTup;
    std::string sSegmId;
    std::string sBefImgLength;
    std::string sAftImgLength;
};

#endif
