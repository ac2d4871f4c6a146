#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "IndexTestDatabase.h"
#include "clp/MoxSystem.h"
#include "common/ChildProcess.h"

namespace {

const int childPatience = 60000;

// What a rollback must give back: the bytes of every page handed out
// (all but their LSN) and the entries.
struct IndexImage {
    PageId lastId = 0;
    std::vector<std::string> pages;
    std::vector<IndexRow> rows;
    std::vector<VarcharRow> texts;
};

class MoxIndexRollbackTest : public IndexTestDatabase {
  protected:
    static IndexImage imageOf(IndexId id, MoxDataType dataType = INTEGER) {
        IndexImage image;
        MoxIndexTreeChecker checker = treeChecker(segmentOf(id), dataType);
        EXPECT_TRUE(sound(checker.check()));
        if (dataType == INTEGER) {
            image.rows = sortedRows(checker.entries());
        } else {
            image.texts = sortedVarcharRows(checker.entries());
        }
        image.lastId = MoxIndexFreeSpaceInventory::getInstance()->getLastPageId(segmentOf(id));
        for (PageId page = 0; page <= image.lastId; ++page) {
            MoxPage::PageType type = page == 0 ? MoxPage::FreeSpaceInventoryPage : MoxPage::BTreeIndexPage;
            MoxScopedPage fixed(segmentOf(id), page, type, MoxScopedPage::GetExistingPage);
            std::string bytes(reinterpret_cast<const char*>(fixed->getPageData()), MOX_PAGE_SIZE);
            bytes.replace(offsetof(MoxPage::PageHeader, lsn), sizeof(MoxLsn), sizeof(MoxLsn), '\0');
            image.pages.push_back(page == 0 ? std::string() : bytes);
        }
        return image;
    }

    // The pages the transaction took are free again and every other page
    // is as it was, byte for byte.
    static void expectRestored(IndexId id, const IndexImage& before, MoxDataType dataType = INTEGER) {
        IndexImage after = imageOf(id, dataType);
        EXPECT_EQ(after.rows, before.rows);
        EXPECT_EQ(after.texts, before.texts);
        ASSERT_GE(after.lastId, before.lastId);
        for (PageId page = 1; page <= before.lastId; ++page) {
            EXPECT_TRUE(after.pages[page] == before.pages[page]) << "page " << page << " differs";
        }
        MoxIndexTreeChecker checker = treeChecker(segmentOf(id), dataType);
        ASSERT_TRUE(sound(checker.check()));
        for (PageId page = before.lastId + 1; page <= after.lastId; ++page) {
            EXPECT_EQ(checker.freePages().count(page), 1u) << "page " << page << " is not free again";
        }
    }

    static void insertAll(MoxIndexBTree& tree, Sint32 from, Sint32 to) {
        for (Sint32 key = from; key < to; ++key) {
            ASSERT_EQ(tree.insertKey(MoxIndexKey(key), TupleId{static_cast<PageId>(key + 1), 1}), MOX_SUCCESS);
        }
    }

    static Uint16 rootEntries(IndexId id) {
        return MoxIndexTreePage::get(segmentOf(id), MoxIndexTreePage::ROOT_PAGE_ID, INTEGER)->numElements();
    }
    static bool rootIsLeaf(IndexId id) {
        return MoxIndexTreePage::get(segmentOf(id), MoxIndexTreePage::ROOT_PAGE_ID, INTEGER)->isLeaf();
    }
};

// A full root node over 509 leaves, leaf `full` holding 509 entries and the
// others 3. Leaf keys are 1000 apart; `run` leaves from `full` on (if any)
// hold only the key 1000 * full, so that their separators are equal, and
// with `leftEqual` the full leaf's lower half equals the separator left of it.
struct NodeSplitCase {
    const char* name;
    size_t full;
    size_t run;
    bool leftEqual;
    Sint32 key;  // the insert that splits the full leaf
};

std::vector<std::vector<Sint32>> leavesFor(const NodeSplitCase& splitCase) {
    std::vector<std::vector<Sint32>> leaves(509);
    for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
        Sint32 base = static_cast<Sint32>(1000 * leaf);
        bool inRun = splitCase.run > 0 && leaf >= splitCase.full && leaf < splitCase.full + splitCase.run;
        if (inRun) base = static_cast<Sint32>(1000 * splitCase.full);
        size_t count = leaf == splitCase.full ? 509 : 3;
        for (size_t i = 0; i < count; ++i) {
            leaves[leaf].push_back(inRun ? base : base + static_cast<Sint32>(i));
        }
    }
    if (splitCase.leftEqual) {
        // The leaf's first 300 entries repeat the last key of the leaf
        // before it; the rest lie above the key to insert.
        Sint32 left = leaves[splitCase.full - 1].back();
        for (size_t i = 0; i < 509; ++i) {
            leaves[splitCase.full][i] = i < 300 ? left : left + 900;
        }
    }
    return leaves;
}

TEST_F(MoxIndexRollbackTest, RootNodeSplitsWhereverTheLeafSplitsAndRollsBack) {
    const NodeSplitCase cases[] = {
        {"first child", 0, 0, false, 5},
        {"last child of the lower half", 254, 0, false, 254005},
        {"first child of the upper half", 255, 0, false, 255005},
        {"last child", 508, 0, false, 508005},
        {"run of equal separators", 100, 6, false, 100000},
        {"run across the middle", 250, 10, false, 250000},
        {"separator equal to the one on its left", 254, 0, true, 253500},
    };
    IndexId id = index;
    for (const NodeSplitCase& splitCase : cases) {
        SCOPED_TRACE(splitCase.name);
        std::unique_ptr<MoxIndexBTree> tree = buildTree(++id, leavesFor(splitCase));
        IndexImage before = imageOf(id);
        ASSERT_EQ(rootEntries(id), 508);

        TupleId added{60000, 7};
        ASSERT_EQ(tree->insertKey(MoxIndexKey(splitCase.key), added), MOX_SUCCESS);
        MoxIndexTreeChecker checker = treeChecker(*tree);
        ASSERT_TRUE(sound(checker.check()));
        ASSERT_EQ(checker.levels().size(), 3u);
        EXPECT_EQ(rootEntries(id), 1);
        std::vector<IndexRow> expected = before.rows;
        expected.emplace_back(splitCase.key, added.page, added.slot);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sortedRows(checker.entries()), expected);
        TupleId found;
        EXPECT_EQ(tree->deleteKey(id, MoxIndexKey(splitCase.key), &added), MOX_SUCCESS);
        EXPECT_EQ(tree->insertKey(MoxIndexKey(splitCase.key), added), MOX_SUCCESS);
        EXPECT_EQ(tree->find(id, MoxIndexKey(splitCase.key), found), MOX_SUCCESS);

        rollback();
        expectRestored(id, before);
        EXPECT_EQ(rootEntries(id), 508);
    }
}

TEST_F(MoxIndexRollbackTest, RootLeafSplitRollsBackToTheLeaf) {
    std::unique_ptr<MoxIndexBTree> tree = createIndex(index);
    insertAll(*tree, 0, 509);
    commit();
    IndexImage before = imageOf(index);
    insertAll(*tree, 509, 700);
    ASSERT_FALSE(rootIsLeaf(index));
    rollback();
    expectRestored(index, before);
    ASSERT_TRUE(rootIsLeaf(index));
    // The pages given back serve the next split.
    insertAll(*tree, 509, 510);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(checker.entries().size(), 510u);
}

TEST_F(MoxIndexRollbackTest, RandomTransactionWithManySplitsRollsBackExactly) {
    // 509 leaves of 300 keys, 1000 apart per leaf, under a full root.
    std::vector<std::vector<Sint32>> leaves(509);
    for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
        for (Sint32 i = 0; i < 300; ++i) leaves[leaf].push_back(static_cast<Sint32>(1000 * leaf) + 2 * i);
    }
    std::unique_ptr<MoxIndexBTree> tree = buildTree(index, leaves);
    IndexImage before = imageOf(index);
    std::mt19937 random(7);
    // Most inserts go to a few leaves, which split several times each.
    for (int step = 0; step < 3000; ++step) {
        Sint32 leaf = step % 4 == 0 ? std::uniform_int_distribution<Sint32>(0, 508)(random) : 100 + step % 3;
        Sint32 key = 1000 * leaf + std::uniform_int_distribution<Sint32>(0, 999)(random);
        if (step % 5 == 4) {
            tree->deleteKey(index, MoxIndexKey(key), nullptr);
        } else {
            ASSERT_EQ(tree->insertKey(MoxIndexKey(key), TupleId{60000, static_cast<SlotId>(step % 250)}), MOX_SUCCESS);
        }
    }
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    ASSERT_EQ(checker.levels().size(), 3u);
    rollback();
    expectRestored(index, before);
}

// Long varchar keys of one of a few hundred values, so that a few hundred
// inserts split leaves and inner nodes.
std::string longKey(int value) {
    return std::string(180, static_cast<char>('a' + value % 26)) + std::to_string(value * 7919 % 1000);
}

void insertLong(MoxIndexBTree& tree, int from, int to) {
    for (int value = from; value < to; ++value) {
        ASSERT_EQ(tree.insertKey(MoxIndexKey(longKey(value).c_str()), TupleId{static_cast<PageId>(value + 1), 2}),
                  MOX_SUCCESS);
    }
}

TEST_F(MoxIndexRollbackTest, VarcharTransactionThatSplitsLeavesAndNodesRollsBackExactly) {
    MoxIndexManager* manager = MoxIndexManager::getInstance();
    manager->createIndex(index, false, BTree, VARCHAR);
    MoxIndexBTree* tree = nullptr;
    manager->getIndex(index, tree);
    insertLong(*tree, 0, 200);
    commit();
    IndexImage before = imageOf(index, VARCHAR);
    insertLong(*tree, 200, 700);
    for (int value = 0; value < 700; value += 3) manager->remove(index, MoxIndexKey(longKey(value).c_str()), nullptr);
    MoxIndexTreeChecker checker = treeChecker(*tree);
    ASSERT_TRUE(sound(checker.check()));
    ASSERT_GE(checker.levels().size(), 3u);
    rollback();
    expectRestored(index, before, VARCHAR);
}

// A child runs committed transactions and then one that it leaves open;
// the system crashes, and recovery must leave exactly the committed entries.
class MoxIndexCrashTest : public MoxIndexRollbackTest {
  protected:
    typedef std::function<void(MoxIndexBTree&)> Work;

    // open may be null: the child then dies after its commit.
    static void crashIn(MoxDataType dataType, const Work& committed, const Work& open) {
        // The committed state so far reaches the files; then this process
        // has no manager that could write the child's pages.
        MoxSystem::stopAllManagers();
        EventPipe reached;
        ChildProcess child([&] {
            MoxIndexBTree* tree = nullptr;
            MoxIndexManager::getInstance()->openIndex(index, false, BTree, dataType);
            MoxIndexManager::getInstance()->getIndex(index, tree);
            committed(*tree);
            commit();
            if (open) open(*tree);
            reached.notify();
            EventPipe never;
            never.waitFor(childPatience);
            return 1;
        });
        ASSERT_TRUE(reached.waitFor(childPatience));
        child.kill(SIGKILL);
        EXPECT_EQ(child.wait(), 128 + SIGKILL);
        restartAfterCrash();
    }

    // Split pages that the pool never wrote: recovery must create them from the
    // log as it creates missing ones, whether the file is short of them or grew
    // past them with zeros in their place, because a later page reached it.
    static void recoverUnwrittenSplitPages(bool laterPageWritten) {
        createIndex(index);
        crashIn(
            INTEGER, [](MoxIndexBTree& tree) { insertAll(tree, 0, 3000); },
            [laterPageWritten](MoxIndexBTree&) {
                const PageId last = MoxIndexFreeSpaceInventory::getInstance()->getLastPageId(segmentOf(index));
                ASSERT_GT(last, 4);
                // flushAll passes over fixed frames.
                std::vector<std::unique_ptr<MoxScopedPage>> held;
                for (PageId page = 2; page <= last - (laterPageWritten ? 1 : 0); ++page) {
                    held.push_back(std::make_unique<MoxScopedPage>(segmentOf(index), page, MoxPage::BTreeIndexPage,
                                                                   MoxScopedPage::GetExistingPage));
                }
                MoxBufferManager::getInstance()->flushAll();
            });
        recover();
        MoxIndexTreeChecker checker = treeChecker(segmentOf(index), INTEGER);
        ASSERT_TRUE(sound(checker.check()));
        ASSERT_EQ(checker.entries().size(), 3000u);
        for (Sint32 key = 0; key < 3000; ++key) EXPECT_EQ(checker.entries()[key].key.intKey, key);
    }

    static std::vector<VarcharRow> longRows(int from, int to) {
        std::vector<VarcharRow> rows;
        for (int value = from; value < to; ++value) rows.emplace_back(longKey(value), value + 1, 2);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static void expectTexts(const std::vector<VarcharRow>& rows) {
        MoxIndexTreeChecker checker = treeChecker(segmentOf(index), VARCHAR);
        ASSERT_TRUE(sound(checker.check()));
        EXPECT_EQ(sortedVarcharRows(checker.entries()), rows);
    }

    static void createVarcharIndex() {
        MoxIndexManager::getInstance()->createIndex(index, false, BTree, VARCHAR);
        commit();
    }
};

TEST_F(MoxIndexCrashTest, RecoveryLeavesTheCommittedVarcharEntriesAlsoAfterASecondCrash) {
    createVarcharIndex();
    crashIn(
        VARCHAR, [](MoxIndexBTree& tree) { insertLong(tree, 0, 150); },
        [](MoxIndexBTree& tree) { insertLong(tree, 150, 400); });
    EXPECT_NE(recover().find("Calculated starting point for REDO is at LogEntry with LSN "), std::string::npos);
    expectTexts(longRows(0, 150));
    // The next committed transaction changes the pages that the undone one
    // had changed; recovery must not undo that one again.
    crashIn(
        VARCHAR, [](MoxIndexBTree& tree) { insertLong(tree, 150, 300); }, nullptr);
    recover();
    expectTexts(longRows(0, 300));
}

TEST_F(MoxIndexCrashTest, TheInventoryCoversPagesThatReachedTheDiskWithoutIt) {
    createIndex(index);
    // The pool writes the split pages but not page 0, which keeps its
    // count from before: no change is redone, yet its pages are in use.
    crashIn(
        INTEGER, [](MoxIndexBTree& tree) { insertAll(tree, 0, 3000); },
        [](MoxIndexBTree&) {
            MoxScopedPage inventory(segmentOf(index), 0, MoxPage::FreeSpaceInventoryPage,
                                    MoxScopedPage::GetExistingPage);
            MoxBufferManager::getInstance()->flushAll();
        });
    EXPECT_EQ(recover().find("Calculated starting point"), std::string::npos);
    MoxIndexBTree tree;
    tree.openTree(index, INTEGER, false);
    insertAll(tree, 3000, 6000);
    MoxIndexTreeChecker checker = treeChecker(tree);
    ASSERT_TRUE(sound(checker.check()));
    ASSERT_EQ(checker.entries().size(), 6000u);
    for (Sint32 key = 0; key < 6000; ++key) EXPECT_EQ(checker.entries()[key].key.intKey, key);
}

TEST_F(MoxIndexCrashTest, SplitPagesLeftAsZerosBeforeAWrittenOneAreCreatedAgain) {
    recoverUnwrittenSplitPages(true);
}

TEST_F(MoxIndexCrashTest, SplitPagesBeyondTheEndOfTheFileAreCreatedAgain) {
    recoverUnwrittenSplitPages(false);
}

// Recovery itself dies at every few log entries it writes; the next
// recovery must still leave exactly the committed entries.
TEST_F(MoxIndexCrashTest, RecoveryThatCrashesIsRecoveredAgain) {
    createVarcharIndex();
    // The open transaction's keys lie above the committed ones, so that its
    // undo leaves the lower leaves alone: only the redo restores them.
    crashIn(
        VARCHAR, [](MoxIndexBTree& tree) { insertLong(tree, 0, 30); },
        [](MoxIndexBTree& tree) {
            for (int value = 1039; value < 1039 + 26 * 30; value += 26) insertLong(tree, value, value + 1);
        });
    std::filesystem::path database(directory());
    std::filesystem::path saved = database.string() + ".crash";
    std::filesystem::remove_all(saved);
    std::filesystem::copy(database, saved);
    // Every few entries, then each of the last ones, where the undone
    // transactions get their ends.
    Uint32 step = optimisedBuild ? 7 : 29;
    for (Uint32 appends = 1;; appends += step) {
        SCOPED_TRACE(appends);
        restartAfterCrash();
        for (const auto& file : std::filesystem::directory_iterator(database)) std::filesystem::remove(file);
        std::filesystem::copy(saved, database);
        ChildProcess recovering([&] {
            MoxLogManager::TEST_killAfterAppends(appends);
            recover();
            MoxSystem::stopAllManagers();
            return 0;
        });
        bool finished = recovering.wait(childPatience / 1000) == 0;
        restartAfterCrash();
        recover();
        expectTexts(longRows(0, 30));
        MoxSystem::stopAllManagers();
        if (HasFailure() || (finished && step == 1)) break;
        if (finished) {
            appends = appends > step + 8 ? appends - step - 8 : 0;
            step = 1;
        }
    }
    std::filesystem::remove_all(saved);
}

TEST_F(MoxIndexCrashTest, RecoveryUndoesAnOpenRootLeafSplit) {
    createIndex(index);
    crashIn(
        INTEGER, [](MoxIndexBTree& tree) { insertAll(tree, 0, 509); },
        [](MoxIndexBTree& tree) {
            insertAll(tree, 509, 600);
            ASSERT_FALSE(rootIsLeaf(index));
        });
    recover();
    MoxIndexTreeChecker checker = treeChecker(segmentOf(index), INTEGER);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_TRUE(rootIsLeaf(index));
    ASSERT_EQ(checker.entries().size(), 509u);
    for (Sint32 key = 0; key < 509; ++key) EXPECT_EQ(checker.entries()[key].key.intKey, key);
}

TEST_F(MoxIndexCrashTest, RecoveryUndoesAnOpenRootNodeSplit) {
    NodeSplitCase splitCase = {"middle", 254, 0, false, 254005};
    buildTree(index, leavesFor(splitCase));
    IndexImage built = imageOf(index);
    crashIn(
        INTEGER,
        [](MoxIndexBTree& tree) {
            ASSERT_EQ(tree.insertKey(MoxIndexKey(7), TupleId{50000, 1}), MOX_SUCCESS);
        },
        [&](MoxIndexBTree& tree) {
            ASSERT_EQ(tree.insertKey(MoxIndexKey(splitCase.key), TupleId{50000, 2}), MOX_SUCCESS);
            ASSERT_EQ(rootEntries(index), 1);
        });
    recover();
    MoxIndexTreeChecker checker = treeChecker(segmentOf(index), INTEGER);
    ASSERT_TRUE(sound(checker.check()));
    EXPECT_EQ(rootEntries(index), 508);
    std::vector<IndexRow> expected = built.rows;
    expected.emplace_back(7, 50000, 1);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedRows(checker.entries()), expected);
}

}  // namespace
