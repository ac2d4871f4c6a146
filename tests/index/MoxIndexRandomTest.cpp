#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "IndexTestDatabase.h"
#include "TestHelpers.h"

namespace {

const int operationCount = optimisedBuild ? 200000 : 10000;
const int checkEvery = 5000;
const int commitEvery = 1000;

typedef std::multimap<Sint32, TupleId> Model;
std::vector<IndexRow> rowsOf(Model::const_iterator from, Model::const_iterator to) {
    std::vector<IndexRow> rows;
    for (auto it = from; it != to; ++it) rows.emplace_back(it->first, it->second.page, it->second.slot);
    std::sort(rows.begin(), rows.end());
    return rows;
}

class MoxIndexRandomTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        tree = createIndex(index);
    }

    // Keys crowd into a few thousand values and three hot ones, so that
    // runs of equal keys span leaves and deletes empty whole leaves.
    Sint32 randomKey() {
        int kind = std::uniform_int_distribution<int>(0, 99)(random);
        if (kind < 60) return std::uniform_int_distribution<Sint32>(0, 2999)(random);
        if (kind < 90) return hotKeys[std::uniform_int_distribution<int>(0, 2)(random)];
        if (kind < 92) return kind % 2 == 0 ? MOX_MIN_SINT32 : MOX_MAX_SINT32;
        return std::uniform_int_distribution<Sint32>(MOX_MIN_SINT32, MOX_MAX_SINT32)(random);
    }

    TupleId newTupleId() {
        ++tupleCount;
        return TupleId{static_cast<PageId>(1 + tupleCount / 200 % 60000), static_cast<SlotId>(tupleCount % 200)};
    }

    // A key that is no hotter than others.
    Sint32 someKey() { return std::uniform_int_distribution<Sint32>(-10, 3000)(random); }

    // A present entry near such a key.
    Model::iterator somePresent() {
        auto it = model.lower_bound(someKey());
        return it == model.end() ? model.begin() : it;
    }

    void compareWithModel(int step) {
        MoxIndexTreeChecker checker = treeChecker(*tree);
        ASSERT_TRUE(sound(checker.check())) << "after operation " << step;
        ASSERT_EQ(sortedRows(checker.entries()), rowsOf(model.begin(), model.end())) << "after operation " << step;
        MoxIndexKey key;
        TupleId tupleId;
        if (model.empty()) {
            EXPECT_EQ(tree->findFirstKey(index, key, tupleId), MOX_NOT_FOUND_WARN);
            return;
        }
        ASSERT_EQ(tree->findFirstKey(index, key, tupleId), MOX_SUCCESS);
        EXPECT_EQ(key.intKey, model.begin()->first);
        ASSERT_EQ(tree->findLastKey(index, key, tupleId), MOX_SUCCESS);
        EXPECT_EQ(key.intKey, model.rbegin()->first);
        compareRange(randomKey(), randomKey(), step);
    }

    void compareRange(Sint32 a, Sint32 b, int step) {
        MoxIndexKey start(std::min(a, b));
        MoxIndexKey stop(std::max(a, b));
        MoxIndexIterator* iterator = nullptr;
        ASSERT_EQ(tree->findRange(index, &start, &stop, iterator), MOX_SUCCESS);
        std::unique_ptr<MoxIndexIterator> owned(iterator);
        auto first = model.lower_bound(start.intKey);
        auto last = model.upper_bound(stop.intKey);
        // TupleIds are unique per inserted entry here, so each names its key.
        std::map<std::pair<PageId, SlotId>, Sint32> keyOf;
        for (auto it = first; it != last; ++it) keyOf[{it->second.page, it->second.slot}] = it->first;
        std::vector<IndexRow> seen;
        Sint32 previous = MOX_MIN_SINT32;
        TupleId tupleId;
        while (owned->getNextTupleId(tupleId) == MOX_SUCCESS) {
            auto found = keyOf.find({tupleId.page, tupleId.slot});
            ASSERT_NE(found, keyOf.end()) << "range yields a foreign entry after operation " << step;
            EXPECT_GE(found->second, previous);
            previous = found->second;
            seen.emplace_back(found->second, tupleId.page, tupleId.slot);
        }
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen, rowsOf(first, last)) << "range after operation " << step;
    }

    void insertRandom(int step) {
        Sint32 key = randomKey();
        TupleId tupleId = newTupleId();
        ASSERT_EQ(tree->insertKey(MoxIndexKey(key), tupleId), MOX_SUCCESS) << "step " << step;
        model.emplace(key, tupleId);
        for (int hot = 0; hot < 3; ++hot) {
            if (key == hotKeys[hot]) newestHot[hot].push_back(tupleId);
        }
    }

    // The newest copies of a hot key lie in the first leaf of its run:
    // taking a burst of them empties that leaf of the key while older
    // copies remain in the leaves to the right.
    void deleteNewestHot(int step) {
        std::vector<TupleId>& newest = newestHot[step % 3];
        Sint32 key = hotKeys[step % 3];
        for (int taken = 0; taken < 250 && !newest.empty();) {
            TupleId tupleId = newest.back();
            newest.pop_back();
            auto [first, last] = model.equal_range(key);
            auto present = std::find_if(first, last, [&](const auto& entry) { return entry.second == tupleId; });
            if (present == last) continue;
            ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(key), &tupleId), MOX_SUCCESS) << "step " << step;
            model.erase(present);
            ++taken;
        }
    }

    std::mt19937 random{20240613};
    const Sint32 hotKeys[3] = {-5, 777, 1500};
    Uint32 tupleCount = 0;
    std::vector<TupleId> newestHot[3];
    Model model;
    std::unique_ptr<MoxIndexBTree> tree;
};

TEST_F(MoxIndexRandomTest, InsertsAndDeletesAgreeWithAMultimap) {
    // Phases that grow, shrink and grow the index again.
    const int insertPercent[3] = {70, 35, 55};
    for (int step = 1; step <= operationCount; ++step) {
        int roll = std::uniform_int_distribution<int>(0, 999)(random);
        if (roll < 10 * insertPercent[step / (operationCount / 8) % 3] || model.empty()) {
            insertRandom(step);
        } else if (roll < 700) {
            auto victim = somePresent();
            ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(victim->first), &victim->second), MOX_SUCCESS)
                << "step " << step;
            model.erase(victim);
        } else if (roll < 703) {
            if (roll == 700 && step % 2 == 0) deleteNewestHot(step);
        } else if (roll < 730) {
            Sint32 key = roll == 703 && step % 8 == 0 ? hotKeys[step % 3] : someKey();
            MoxErrorCode expected = model.count(key) != 0 ? MOX_SUCCESS : MOX_NOT_FOUND_WARN;
            ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(key), nullptr), expected) << "step " << step;
            model.erase(key);
        } else if (roll < 780) {
            TupleId absent{65000, 1};
            ASSERT_EQ(tree->deleteKey(index, MoxIndexKey(somePresent()->first), &absent), MOX_NOT_FOUND_WARN)
                << "step " << step;
        } else {
            Sint32 key = roll < 850 ? hotKeys[step % 3] : randomKey();
            TupleId tupleId;
            MoxErrorCode rc = tree->find(index, MoxIndexKey(key), tupleId);
            auto [first, last] = model.equal_range(key);
            ASSERT_EQ(rc, first == last ? MOX_NOT_FOUND_WARN : MOX_SUCCESS) << "step " << step;
            if (rc == MOX_SUCCESS) {
                EXPECT_TRUE(std::any_of(first, last, [&](const auto& entry) { return entry.second == tupleId; }));
            }
        }
        if (step % commitEvery == 0) commit();
        if (step % checkEvery == 0) {
            compareWithModel(step);
            if (HasFatalFailure()) return;
        }
    }
}

const int varcharOperationCount = optimisedBuild ? 100000 : 8000;

typedef std::multimap<std::string, TupleId> TextModel;

// Keys of 0 to 255 characters through the index manager: most share one of
// a few long prefixes and end in a short suffix of two letters, so that
// they crowd into few values; three hot keys (empty, 40 and 255
// characters) run across leaves. Some bytes lie above 127 and order
// unsigned, as in the model's std::string.
class MoxIndexVarcharRandomTest : public IndexTestDatabase {
  protected:
    void SetUp() override {
        IndexTestDatabase::SetUp();
        manager = MoxIndexManager::getInstance();
        manager->createIndex(index, false, BTree, VARCHAR);
        commit();
    }

    std::string randomKey() {
        int kind = std::uniform_int_distribution<int>(0, 99)(random);
        if (kind < 20) return hotKeys[kind % 3];
        static const std::string prefixes[] = {"", "a", std::string(120, 'p'), "\xe4\xf6", std::string(250, 'z')};
        std::string key = prefixes[kind % 5];
        size_t room = std::min<size_t>(MOX_INDEX_VARCHAR_LENGTH - key.size(), kind < 90 ? 3 : 60);
        size_t length = std::uniform_int_distribution<size_t>(0, room)(random);
        for (size_t i = 0; i < length; ++i)
            key += kind < 90 ? "ab"[random() % 2] : static_cast<char>(1 + random() % 255);
        return key;
    }

    // An entry near a random key; the model is not empty.
    TextModel::iterator somePresent() {
        auto it = model.lower_bound(randomKey());
        return it == model.end() ? model.begin() : it;
    }

    void insert(const std::string& key, TupleId tupleId) {
        manager->insert(index, MoxIndexKey(key.c_str()), tupleId);
        model.emplace(key, tupleId);
    }

    // Takes a burst of the newest copies of a hot key, which lie in the
    // first leaf of its run: that leaf is emptied of it while older copies
    // remain further right.
    void deleteNewestHot(const std::string& key) {
        MoxIndexKey start(key.c_str());
        MoxIndexIterator* iterator = nullptr;
        manager->findRange(index, &start, &start, iterator);
        std::unique_ptr<MoxIndexIterator> owned(iterator);
        std::vector<TupleId> newest;
        TupleId tupleId;
        while (newest.size() < 150 && owned->getNextTupleId(tupleId) == MOX_SUCCESS) {
            newest.push_back(tupleId);
            owned->hasNext();
        }
        owned.reset();
        for (const TupleId& taken : newest) {
            manager->remove(index, start, &taken);
            auto [first, last] = model.equal_range(key);
            model.erase(std::find_if(first, last, [&](const auto& entry) { return entry.second == taken; }));
        }
    }

    void compareWithModel(int step) {
        MoxIndexTreeChecker checker = treeChecker(segmentOf(index), VARCHAR);
        ASSERT_TRUE(sound(checker.check())) << "after operation " << step;
        std::vector<VarcharRow> rows;
        for (const auto& [key, tupleId] : model) rows.emplace_back(key, tupleId.page, tupleId.slot);
        std::sort(rows.begin(), rows.end());
        ASSERT_EQ(sortedVarcharRows(checker.entries()), rows) << "after operation " << step;
        MoxIndexKey key;
        TupleId tupleId;
        if (model.empty()) {
            EXPECT_TRUE(throwsError([&] { manager->findLastKey(index, key, tupleId); }, MOX_NOT_FOUND_WARN));
            return;
        }
        manager->findFirstKey(index, key, tupleId);
        EXPECT_EQ(key.varcharKey, model.begin()->first);
        manager->findLastKey(index, key, tupleId);
        EXPECT_EQ(key.varcharKey, model.rbegin()->first);
        for (int bounds = 0; bounds < 4; ++bounds) compareRange(bounds, step);
    }

    // bounds 0: both, 1: no start, 2: no stop, 3: none.
    void compareRange(int bounds, int step) {
        std::string a = randomKey();
        std::string b = randomKey();
        if (b < a) std::swap(a, b);
        MoxIndexKey start(a.c_str());
        MoxIndexKey stop(b.c_str());
        MoxIndexIterator* iterator = nullptr;
        manager->findRange(index, bounds % 2 == 0 ? &start : nullptr, bounds < 2 ? &stop : nullptr, iterator);
        std::unique_ptr<MoxIndexIterator> owned(iterator);
        auto first = bounds % 2 == 0 ? model.lower_bound(a) : model.begin();
        auto last = bounds < 2 ? model.upper_bound(b) : model.end();
        // A TupleId names one key at a time; repeated pairs come twice.
        std::map<std::pair<PageId, SlotId>, std::string> keyOf;
        std::multiset<std::pair<PageId, SlotId>> expected;
        for (auto it = first; it != last; ++it) {
            keyOf[{it->second.page, it->second.slot}] = it->first;
            expected.insert({it->second.page, it->second.slot});
        }
        std::multiset<std::pair<PageId, SlotId>> seen;
        std::string previous;
        TupleId tupleId;
        while (owned->getNextTupleId(tupleId) == MOX_SUCCESS) {
            auto found = keyOf.find({tupleId.page, tupleId.slot});
            ASSERT_NE(found, keyOf.end()) << "range yields a foreign entry after operation " << step;
            EXPECT_GE(found->second, previous);
            previous = found->second;
            seen.insert(found->first);
            owned->hasNext();
        }
        ASSERT_EQ(seen, expected) << "range after operation " << step;
    }

    MoxIndexManager* manager = nullptr;
    std::mt19937 random{4711};
    const std::string hotKeys[3] = {"", std::string(40, 'h'), std::string(255, '\xff')};
    Uint32 tupleCount = 0;
    TextModel model;
};

TEST_F(MoxIndexVarcharRandomTest, InsertsDeletesAndRangesAgreeWithAMultimap) {
    for (int step = 1; step <= varcharOperationCount; ++step) {
        int roll = std::uniform_int_distribution<int>(0, 999)(random);
        // Phases that grow, shrink and grow the index again.
        int insertShare = (step * 3 / varcharOperationCount) % 2 == 0 ? 600 : 350;
        if (roll < insertShare || model.empty()) {
            ++tupleCount;
            insert(randomKey(),
                   TupleId{static_cast<PageId>(1 + tupleCount / 200), static_cast<SlotId>(tupleCount % 200)});
        } else if (roll < 850) {
            auto victim = somePresent();
            manager->remove(index, MoxIndexKey(victim->first.c_str()), &victim->second);
            model.erase(victim);
        } else if (roll < 870) {
            std::string key = randomKey();
            manager->remove(index, MoxIndexKey(key.c_str()), nullptr);
            model.erase(key);
        } else if (roll < 880) {
            // The same pair again: a second entry, which ranges yield twice.
            auto twin = somePresent();
            insert(twin->first, twin->second);
        } else if (roll < 900) {
            // A pair that occurs once moves to another key.
            auto moved = somePresent();
            auto [first, last] = model.equal_range(moved->first);
            if (std::count_if(first, last, [&](const auto& entry) { return entry.second == moved->second; }) == 1) {
                std::string key = randomKey();
                manager->update(index, MoxIndexKey(moved->first.c_str()), MoxIndexKey(key.c_str()), &moved->second);
                model.emplace(key, moved->second);
                model.erase(moved);
            }
        } else if (roll < 903) {
            deleteNewestHot(hotKeys[step % 3]);
        } else {
            std::string key = roll < 950 ? hotKeys[step % 3] : randomKey();
            TupleId tupleId;
            auto [first, last] = model.equal_range(key);
            std::optional<MoxException> failure =
                caught([&] { manager->find(index, MoxIndexKey(key.c_str()), tupleId); });
            ASSERT_EQ(failure.has_value(), first == last) << "step " << step;
            if (!failure) {
                EXPECT_TRUE(std::any_of(first, last, [&](const auto& entry) { return entry.second == tupleId; }));
            }
        }
        if (step % commitEvery == 0) commit();
        if (step % checkEvery == 0) {
            compareWithModel(step);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
