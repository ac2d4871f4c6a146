#include "MoxRecordLogEntry.h"

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

MoxRecordLogEntry::MoxRecordLogEntry(MoxTransactionId transactionId, SegmentId segmentId, const char* beforeImage,
                                     int befImgLength, const char* afterImage, int aftImgLength, transType type,
                                     const TupleId* primTupelID, const TupleId* oldSecTID, const TupleId* newSecTID) {
    MOX_TRACE_ENTRY();
    setFields(transactionId, segmentId, beforeImage, befImgLength, afterImage, aftImgLength, type, primTupelID,
              oldSecTID, newSecTID);
}

MoxRecordLogEntry::MoxRecordLogEntry(const MoxRecordLogEntry& other) : MoxAbstractLogEntry(other) {
    MOX_TRACE_ENTRY();
    *this = other;
}

MoxRecordLogEntry& MoxRecordLogEntry::operator=(const MoxRecordLogEntry& other) {
    MOX_TRACE_ENTRY();
    if (this != &other) {
        setFields(other.transactionID, other.segmentID, other.getBeforeImage(), other.befImgLength,
                  other.getAfterImage(), other.aftImgLength, other.transactionType, other.getPrimTupelID(),
                  other.getOldSecTID(), other.getNewSecTID());
        length = other.length;
        sLsn = other.sLsn;
        sPrevLsn = other.sPrevLsn;
    }
    return *this;
}

void MoxRecordLogEntry::setFields(MoxTransactionId transactionId, SegmentId segmentId, const char* before,
                                  int befLength, const char* after, int aftLength, int type, const TupleId* primary,
                                  const TupleId* oldSecondary, const TupleId* newSecondary) {
    MOX_TRACE_ENTRY();
    try {
        // Both images are copied before anything changes, so a refused one
        // leaves the entry as it was.
        std::unique_ptr<char[]> beforeCopy = copyImage(before, befLength);
        std::unique_ptr<char[]> afterCopy = copyImage(after, aftLength);
        setCommonFields(transactionId, type);
        primTupelID = copyTupleId(primary);
        oldSecTID = copyTupleId(oldSecondary);
        newSecTID = copyTupleId(newSecondary);
        segmentID = segmentId;
        beforeImage = std::move(beforeCopy);
        befImgLength = befLength;
        afterImage = std::move(afterCopy);
        aftImgLength = aftLength;
        sPrimTup = tupleIdText(primary);
        sOldTup = tupleIdText(oldSecondary);
        sNewTup = tupleIdText(newSecondary);
        sSegmId = std::to_string(segmentId);
        sBefImgLength = std::to_string(befLength);
        sAftImgLength = std::to_string(aftLength);
    } catch (const MoxException&) {
        THROW(MOX_LOGM_RECORD_INIT_FAILED);
    }
}

char* MoxRecordLogEntry::serialize() {
    MOX_TRACE_ENTRY();
    return serializeFields(
        'R', {sPrimTup, sOldTup, sNewTup, sSegmId, sBefImgLength, std::string_view(beforeImage.get(), befImgLength),
              sAftImgLength, std::string_view(afterImage.get(), aftImgLength), sTT});
}

std::unique_ptr<const TupleId> MoxRecordLogEntry::copyTupleId(const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    return tupleId == nullptr ? nullptr : std::make_unique<const TupleId>(*tupleId);
}

std::string MoxRecordLogEntry::tupleIdText(const TupleId* tupleId) {
    MOX_TRACE_ENTRY();
    if (tupleId == nullptr) {
        return std::string();
    }
    return std::to_string(tupleId->page) + "," + std::to_string(tupleId->slot);
}
