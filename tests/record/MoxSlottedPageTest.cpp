#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "PageModel.h"
#include "TestHelpers.h"
#include "record/MoxSlottedPage.h"

namespace {

typedef MoxRecordLayout L;

// A data page in plain memory with its view.
struct TestPage {
    std::array<unsigned char, MOX_PAGE_SIZE> bytes{};
    MoxSlottedPage view{bytes.data()};

    // Sets a slot directly, extending the directory, and fills a record's
    // bytes with fill.
    void set(SlotId id, Uint16 offset, Uint16 length, L::RecordType type = L::PrimaryRecord, char fill = 'r') {
        if (id >= view.numberOfSlots()) view.header().numberOfSlots = static_cast<Uint8>(id + 1);
        L::Slot& slot = view.slot(id);
        slot.offset = offset;
        slot.recordLength = length;
        slot.recordType = type;
        if (type != L::PlaceHolderTid) memset(bytes.data() + offset, fill, length);
    }
    std::string record(SlotId id) const {
        const L::Slot& slot = view.slot(id);
        return std::string(reinterpret_cast<const char*>(bytes.data()) + slot.offset, slot.recordLength);
    }
    std::pair<Uint16, Uint16> largest() const {
        Uint16 offset = 1;
        Uint16 size = 1;
        view.largestFreeBlock(offset, size);
        return {offset, size};
    }
};

std::pair<Uint16, Uint16> block(Uint16 offset, Uint16 size) {
    return {offset, size};
}

TEST(MoxSlottedPage, EmptyPageOffersEverythingBehindTheReservedEntry) {
    TestPage page;
    EXPECT_EQ(page.view.freeSpace(), 4064);
    EXPECT_EQ(page.largest(), block(32, 4064));
    EXPECT_EQ(page.view.freeSlotId(), 0);
    for (Uint16 length : {1, 100, 4055, 4064}) {
        EXPECT_EQ(page.view.placeRecord(length), MOX_PAGE_SIZE - length) << length;
    }
    EXPECT_TRUE(throwsError([&] { page.view.placeRecord(4065); }, MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN));

    const std::string bytes(4055, 'x');
    page.view.writeRecord(0, reinterpret_cast<const unsigned char*>(bytes.data()), 4055, L::PrimaryRecord, 41);
    EXPECT_EQ(page.view.numberOfSlots(), 1);
    EXPECT_EQ(page.record(0), bytes);
    EXPECT_EQ(page.view.freeSpace(), 4096 - 40 - 4055);
    EXPECT_EQ(page.largest(), block(40, 1));

    // Exactly full is no free space; more than the page is damage.
    page.set(0, 40, 4056);
    EXPECT_EQ(page.view.freeSpace(), 0);
    EXPECT_EQ(page.largest(), block(0, 0));
    page.set(0, 39, 4057);
    EXPECT_TRUE(throwsError([&] { page.view.freeSpace(); }, MOX_INTERNAL_FAIL));
}

TEST(MoxSlottedPage, AllSlotsInUseLeaveNoRoomWhateverBytesAreFree) {
    TestPage page;
    for (int id = 0; id < 255; ++id) {
        // Every tenth slot forwards; forwarding slots count as in use.
        if (id % 10 == 0) {
            page.set(static_cast<SlotId>(id), 7, 3, L::PlaceHolderTid);
        } else {
            page.set(static_cast<SlotId>(id), static_cast<Uint16>(4096 - 4 * (id + 1)), 4);
        }
    }
    EXPECT_EQ(page.view.freeSpace(), 0);
    EXPECT_EQ(page.largest(), block(0, 0));
    EXPECT_TRUE(throwsError([&] { page.view.freeSlotId(); }, MOX_RM_NO_MORE_SLOTS));
    EXPECT_TRUE(throwsError([&] { page.view.placeRecord(1); }, MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN));

    // One free slot makes the page usable again, through that slot.
    page.view.freeSlot(17);
    EXPECT_EQ(page.view.numberOfSlots(), 255);
    EXPECT_EQ(page.view.freeSlotId(), 17);
    EXPECT_EQ(page.view.freeSpace(), PageModel::of(page.bytes.data()).freeSpace);
    EXPECT_GT(page.largest().second, 0);
}

TEST(MoxSlottedPage, ANewSlotMustStayBelowTheLowestRecord) {
    struct Case {
        Uint16 lowestOffset;
        bool slotPossible;
    };
    // 254 slots: the directory with the new entry and one reserved is 2072 bytes.
    for (Case c : {Case{2072, true}, Case{2071, false}, Case{2000, false}}) {
        TestPage page;
        for (int id = 0; id < 254; ++id) {
            page.set(static_cast<SlotId>(id), static_cast<Uint16>(c.lowestOffset + 4 * id), 4);
        }
        if (c.slotPossible) {
            EXPECT_EQ(page.view.freeSlotId(), 254) << c.lowestOffset;
        } else {
            EXPECT_TRUE(throwsError([&] { page.view.freeSlotId(); }, MOX_RM_SLOT_OVER_DATA)) << c.lowestOffset;
        }
    }
    // Forwarding slots hold no bytes and do not bound the directory.
    TestPage page;
    page.set(0, 40, 0, L::PlaceHolderTid);
    page.set(1, 4000, 96);
    EXPECT_EQ(page.view.freeSlotId(), 2);
}

TEST(MoxSlottedPage, AmongEqualGapsTheLowestWinsWhateverTheSlotOrder) {
    // Reserved directory end 48; gaps of 100 bytes at 48 and at 248.
    for (bool reversed : {false, true}) {
        TestPage page;
        page.set(reversed ? 1 : 0, 348, 3748);
        page.set(reversed ? 0 : 1, 148, 100);
        EXPECT_EQ(page.largest(), block(48, 100)) << reversed;
        EXPECT_EQ(page.view.placeRecord(100), 48);
        EXPECT_EQ(page.view.placeRecord(60), 88);
    }
    // A record that begins at the reserved directory end leaves no gap there.
    TestPage page;
    page.set(0, 40, 56);
    page.set(1, 4000, 96);
    EXPECT_EQ(page.largest(), block(96, 3904));
}

TEST(MoxSlottedPage, CompactionPutsTheShortestRecordLastAndKeepsEverySlot) {
    std::vector<Uint16> lengths = {30, 10, 20};
    std::sort(lengths.begin(), lengths.end());
    do {
        TestPage page;
        // Slots: 0 free, 1 forwarding, then the three records scattered with gaps.
        page.set(1, 9, 4, L::PlaceHolderTid);
        Uint16 offset = 3000;
        for (SlotId i = 0; i < 3; ++i) {
            page.set(static_cast<SlotId>(i + 2), offset, lengths[i], L::PrimaryRecord,
                     static_cast<char>('a' + lengths[i]));
            offset = static_cast<Uint16>(offset + lengths[i] + 200);
        }
        page.view.slot(0) = L::Slot{};
        Uint16 freeSpace = 0;
        Uint16 freeOffset = 0;
        page.view.reorganize(freeSpace, freeOffset);

        std::map<Uint16, Uint16> endOfLength;
        for (SlotId id = 2; id < 5; ++id) {
            const L::Slot& slot = page.view.slot(id);
            EXPECT_EQ(page.record(id), std::string(slot.recordLength, static_cast<char>('a' + slot.recordLength)));
            endOfLength[slot.recordLength] = static_cast<Uint16>(slot.offset + slot.recordLength);
        }
        EXPECT_EQ(endOfLength[10], 4096);
        EXPECT_EQ(endOfLength[20], 4086);
        EXPECT_EQ(endOfLength[30], 4066);
        EXPECT_EQ(page.view.slot(1).recordType, L::PlaceHolderTid);
        EXPECT_EQ(page.view.slot(1).offset, 9);
        EXPECT_TRUE(MoxSlottedPage::isFree(page.view.slot(0)));
        EXPECT_EQ(freeOffset, 24 + 8 * 5);
        EXPECT_EQ(freeSpace, 4036 - freeOffset);
        // Nothing but the header, the directory and the records is left.
        for (Uint16 i = freeOffset; i < 4036; ++i) ASSERT_EQ(page.bytes[i], 0) << i;
    } while (std::next_permutation(lengths.begin(), lengths.end()));
}

TEST(MoxSlottedPage, FreeingTheLastSlotShrinksTheDirectoryByOne) {
    TestPage page;
    for (SlotId id = 0; id < 4; ++id) page.set(id, static_cast<Uint16>(4000 - 10 * id), 10);
    page.view.freeSlot(2);
    EXPECT_EQ(page.view.numberOfSlots(), 4) << "a slot in the middle stays in the directory";
    page.view.freeSlot(3);
    EXPECT_EQ(page.view.numberOfSlots(), 3) << "only by one, although slot 2 is free too";
    EXPECT_EQ(page.view.freeSlotId(), 2);
    for (Uint16 i = 3970; i < 3990; ++i) EXPECT_EQ(page.bytes[i], 0) << i;
    EXPECT_TRUE(throwsError([&] { page.view.freeSlot(3); }, MOX_RM_REC_NOT_FOUND));
}

TEST(MoxSlottedPage, RefusedWritesLeaveThePageAsItWas) {
    TestPage page;
    page.set(0, 4000, 96);
    const auto before = page.bytes;
    const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        const char* what;
        SlotId slot;
        L::RecordType type;
        Uint16 offset;
    };
    for (Case c :
         {Case{"forwarding type", 1, L::PlaceHolderTid, 3000},
          Case{"slot behind the directory", 2, L::PrimaryRecord, 3000},
          Case{"over the directory", 1, L::PrimaryRecord, 36}, Case{"past the page end", 1, L::PrimaryRecord, 4090},
          Case{"invalid slot", 255, L::PrimaryRecord, 3000}}) {
        EXPECT_TRUE(throwsError([&] { page.view.writeRecord(c.slot, data, 8, c.type, c.offset); }, MOX_INTERNAL_FAIL))
            << c.what;
        EXPECT_EQ(page.bytes, before) << c.what;
    }
    EXPECT_TRUE(throwsError([&] { page.view.recordBytes(1); }, MOX_RM_REC_NOT_FOUND));
}

// Random pages of every fill: free space, the largest block and the slot
// choice agree with a map of the occupied bytes, whatever order the slots
// hold their records in (which decides whether the block search sorts).
TEST(MoxSlottedPage, FreeSpaceAgreesWithAByteMapOnRandomPages) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        TestPage page;
        const int slots = std::uniform_int_distribution<int>(0, 255)(random);
        std::vector<int> order(slots);
        for (int i = 0; i < slots; ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), random);
        const int maxLength = std::uniform_int_distribution<int>(1, 600)(random);
        Uint32 lowestFree = MOX_PAGE_SIZE;
        const Uint32 floor = 8 * (slots + 4);
        page.view.header().numberOfSlots = static_cast<Uint8>(slots);
        for (int id : order) {
            int kind = std::uniform_int_distribution<int>(0, 9)(random);
            if (kind == 0) continue;  // free
            if (kind == 1) {
                page.set(static_cast<SlotId>(id), 5, 1, L::PlaceHolderTid);
                continue;
            }
            int length = std::uniform_int_distribution<int>(1, maxLength)(random);
            int gap = std::uniform_int_distribution<int>(0, 1)(random)
                          ? 0
                          : std::uniform_int_distribution<int>(1, 64)(random);
            if (lowestFree < floor + gap + length) continue;
            lowestFree -= gap + length;
            page.set(static_cast<SlotId>(id), static_cast<Uint16>(lowestFree), static_cast<Uint16>(length));
        }
        const PageModel model = PageModel::of(page.bytes.data());
        ASSERT_FALSE(model.overlapping);
        ASSERT_EQ(page.view.freeSpace(), model.freeSpace) << "round " << round;
        ASSERT_EQ(page.largest(), block(model.blockOffset, model.blockSize)) << "round " << round;

        int firstFree = -1;
        Uint32 lowestRecord = MOX_PAGE_SIZE;
        for (int id = slots - 1; id >= 0; --id) {
            const L::Slot& slot = page.view.slot(static_cast<SlotId>(id));
            if (MoxSlottedPage::isFree(slot)) firstFree = id;
            if (slot.recordType != L::PlaceHolderTid && slot.offset != 0)
                lowestRecord = std::min<Uint32>(lowestRecord, slot.offset);
        }
        if (firstFree >= 0) {
            ASSERT_EQ(page.view.freeSlotId(), firstFree);
        } else if (slots == 255) {
            ASSERT_TRUE(throwsError([&] { page.view.freeSlotId(); }, MOX_RM_NO_MORE_SLOTS));
        } else if (8u * (slots + 5) <= lowestRecord) {
            ASSERT_EQ(page.view.freeSlotId(), slots);
        } else {
            ASSERT_TRUE(throwsError([&] { page.view.freeSlotId(); }, MOX_RM_SLOT_OVER_DATA));
        }
    }
}

// Thousands of inserts (slot, place, write as an insert does), frees and
// compactions on one page against a map of slot to bytes: after every step
// each record reads back unchanged and the page keeps its rules.
TEST(MoxSlottedPage, RandomOperationsKeepEveryRecordAgainstAModel) {
    std::mt19937 random(4711);
    TestPage page;
    std::map<int, std::string> model;
    int inserted = 0;
    for (int step = 0; step < 8000; ++step) {
        const int action = std::uniform_int_distribution<int>(0, 99)(random);
        if (action < 60) {
            const int bound = std::uniform_int_distribution<int>(0, 3)(random) == 0 ? 1500 : 80;
            const Uint16 length = static_cast<Uint16>(std::uniform_int_distribution<int>(1, bound)(random));
            std::string bytes(length, '\0');
            for (char& c : bytes) c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(random));
            try {
                SlotId slot = page.view.freeSlotId();
                Uint16 offset = page.view.placeRecord(length);
                Uint16 slotsAfter = std::max<Uint16>(page.view.numberOfSlots(), static_cast<Uint16>(slot + 1));
                // As an insert does: the directory must be able to grow once more.
                if (offset >= MoxSlottedPage::reservedDirectoryEnd(slotsAfter)) {
                    page.view.writeRecord(slot, reinterpret_cast<const unsigned char*>(bytes.data()), length,
                                          L::PrimaryRecord, offset);
                    ASSERT_EQ(model.count(slot), 0u);
                    model[slot] = bytes;
                    ++inserted;
                }
            } catch (const MoxException& exception) {
                // Refused only where the page really is that full.
                if (exception.getErrorCode() == MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN) {
                    ASSERT_LT(PageModel::of(page.bytes.data()).blockSize, length) << "step " << step;
                } else {
                    ASSERT_TRUE(exception.getErrorCode() == MOX_RM_NO_MORE_SLOTS ||
                                exception.getErrorCode() == MOX_RM_SLOT_OVER_DATA)
                        << exception.getErrorCode();
                }
            }
        } else if (action < 95 && !model.empty()) {
            auto victim = model.begin();
            std::advance(victim, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random));
            page.view.freeSlot(static_cast<SlotId>(victim->first));
            model.erase(victim);
        } else {
            Uint16 freeSpace = 0;
            Uint16 freeOffset = 0;
            page.view.reorganize(freeSpace, freeOffset);
            // One block behind the directory, less the reserved entry.
            ASSERT_EQ(page.largest(),
                      freeSpace > 8 ? block(static_cast<Uint16>(freeOffset + 8), static_cast<Uint16>(freeSpace - 8))
                                    : block(0, 0));
        }
        const PageModel state = PageModel::of(page.bytes.data());
        ASSERT_FALSE(state.overlapping) << "step " << step;
        ASSERT_EQ(page.view.freeSpace(), state.freeSpace) << "step " << step;
        Uint16 highest = 0;
        for (const auto& [slot, bytes] : model) {
            ASSERT_EQ(page.record(static_cast<SlotId>(slot)), bytes) << "step " << step << " slot " << slot;
            highest = static_cast<Uint16>(slot + 1);
        }
        ASSERT_GE(page.view.numberOfSlots(), highest);
    }
    EXPECT_GT(inserted, 2000);
}

// A damaged directory never leads outside the page: every operation either
// answers or throws one of its codes (the sanitizer build checks the bytes).
TEST(MoxSlottedPage, DamagedDirectoriesAreReadWithinThePage) {
    std::mt19937 random(99);
    const std::vector<MoxErrorCode> expected = {MOX_RM_NO_MORE_SLOTS, MOX_RM_SLOT_OVER_DATA,
                                                MOX_INTERNAL_FAIL,    MOX_RM_NO_MEMORY_BLOCK_FOUND_WARN,
                                                MOX_RM_REC_NOT_FOUND, MOX_RM_RECORD_OUT_OF_PAGE_BOUNDS};
    auto tolerated = [&](const std::function<void()>& operation) {
        std::optional<MoxException> failure = caught(operation);
        return !failure || std::find(expected.begin(), expected.end(), failure->getErrorCode()) != expected.end();
    };
    // Each refusal is an exception with its back-trace: a few hundred pages.
    for (int round = 0; round < 200; ++round) {
        TestPage page;
        const int directoryBytes = 24 + 8 * 255;
        for (int i = 16; i < directoryBytes; ++i) page.bytes[i] = static_cast<unsigned char>(random());
        for (int i = 0; i < 8; ++i) {
            SlotId id = static_cast<SlotId>(random() % 256);
            ASSERT_TRUE(tolerated([&] { page.view.recordBytes(id); }));
        }
        ASSERT_TRUE(tolerated([&] { page.view.freeSlotId(); }));
        ASSERT_TRUE(tolerated([&] { page.view.freeSpace(); }));
        ASSERT_TRUE(tolerated([&] { page.largest(); }));
        ASSERT_TRUE(tolerated([&] { page.view.placeRecord(100); }));
        const auto before = page.bytes;
        Uint16 freeSpace = 0;
        Uint16 freeOffset = 0;
        std::optional<MoxException> failure = caught([&] { page.view.reorganize(freeSpace, freeOffset); });
        if (failure) {
            ASSERT_TRUE(tolerated([&] { throw *failure; }));
            ASSERT_EQ(page.bytes, before) << "a refused compaction changes nothing";
        }
        ASSERT_TRUE(tolerated([&] { page.view.freeSlot(static_cast<SlotId>(random() % 256)); }));
    }
}

}  // namespace
