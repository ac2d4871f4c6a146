#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MoxIndexManager.h"
#include "MoxSupport.h"

namespace {

MoxIndexKey integerKey(Sint32 value) {
    return MoxIndexKey(value);
}
MoxIndexKey varcharKey(const char* text) {
    return MoxIndexKey(text);
}
MoxIndexKey unknownKey() {
    return MoxIndexKey();
}

void clearError() {
    MoxError::getErrorObject()->setError(Support, MOX_SUCCESS);
}

struct Comparison {
    const char* name;
    MoxIndexKey left;
    MoxIndexKey right;
    bool less;
    bool equal;
    bool lessOrEqual;
    bool failure;  // mixed or unknown types record MOX_INTERNAL_FAIL
};

TEST(MoxIndexKeyTest, ComparisonsDispatchOnTheOtherKeysType) {
    const Comparison comparisons[] = {
        {"equal integers", integerKey(5), integerKey(5), false, true, true, false},
        {"smaller integer", integerKey(-7), integerKey(5), true, false, true, false},
        {"larger integer", integerKey(MOX_MAX_SINT32), integerKey(MOX_MIN_SINT32), false, false, false, false},
        {"ABC before ABD", varcharKey("ABC"), varcharKey("ABD"), true, false, true, false},
        {"AB before ABC", varcharKey("AB"), varcharKey("ABC"), true, false, true, false},
        {"Z before a", varcharKey("Z"), varcharKey("a"), true, false, true, false},
        {"a after Z", varcharKey("a"), varcharKey("Z"), false, false, false, false},
        {"equal strings", varcharKey("same"), varcharKey("same"), false, true, true, false},
        {"integer with string", integerKey(1), varcharKey("1"), false, false, false, true},
        {"string with integer", varcharKey("1"), integerKey(1), false, false, false, true},
        {"unknown with integer", unknownKey(), integerKey(0), false, false, false, true},
        {"integer with unknown", integerKey(0), unknownKey(), false, false, false, true},
        {"string without text", MoxIndexKey(static_cast<const char*>(nullptr)), varcharKey("x"), false, false, false,
         true},
    };
    for (const Comparison& comparison : comparisons) {
        SCOPED_TRACE(comparison.name);
        clearError();
        EXPECT_EQ(comparison.left < comparison.right, comparison.less);
        EXPECT_EQ(comparison.left == comparison.right, comparison.equal);
        EXPECT_EQ(comparison.left <= comparison.right, comparison.lessOrEqual);
        MoxError* error = MoxError::getErrorObject();
        EXPECT_EQ(error->getErrorCode(), comparison.failure ? MOX_INTERNAL_FAIL : MOX_SUCCESS);
        if (comparison.failure) {
            EXPECT_EQ(error->getComponent(), IndexManager);
        }
    }
}

TEST(MoxIndexKeyTest, CopiesOwnTheirStrings) {
    char text[] = "borrowed";
    MoxIndexKey source(text);
    EXPECT_FALSE(source.ownChar);
    MoxIndexKey copy(source);
    MoxIndexKey assigned;
    assigned = integerKey(3);
    assigned = copy;
    EXPECT_TRUE(copy.ownChar);
    EXPECT_NE(copy.varcharKey, text);
    memcpy(text, "changed!", sizeof(text));
    EXPECT_STREQ(copy.varcharKey, "borrowed");
    EXPECT_STREQ(assigned.varcharKey, "borrowed");
    EXPECT_NE(assigned.varcharKey, copy.varcharKey);
    MoxIndexKey& same = assigned;
    assigned = same;
    EXPECT_STREQ(assigned.varcharKey, "borrowed");
    // An owning key takes an integer and gives its string back.
    assigned = integerKey(42);
    EXPECT_EQ(assigned.dataType, INTEGER);
    EXPECT_EQ(assigned.intKey, 42);
    EXPECT_FALSE(assigned.ownChar);
    EXPECT_EQ(assigned.varcharKey, nullptr);
}

TEST(MoxIndexKeyTest, AssigningAnUnknownKeyRecordsAFailure) {
    clearError();
    MoxIndexKey key(varcharKey("text"));
    key = unknownKey();
    EXPECT_EQ(MoxError::getErrorObject()->getErrorCode(), MOX_INTERNAL_FAIL);
    EXPECT_EQ(key.dataType, UnknownDataType);
    EXPECT_EQ(key.varcharKey, nullptr);
}

TEST(MoxIndexKeyTest, StoredEntriesCompareByValueAndDumpTheirFields) {
    MoxIndexIntegerTupleIdentifier empty;
    EXPECT_EQ(empty.value, 0);
    EXPECT_TRUE(empty.tupleId == TupleId{});
    MoxIndexIntegerTupleIdentifier a(-3, TupleId{12, 4});
    MoxIndexIntegerTupleIdentifier b(-3, TupleId{99, 200});
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a <= b);
    EXPECT_FALSE(a < b);
    EXPECT_TRUE(a < -2);
    EXPECT_TRUE(MoxIndexIntegerKey(8, 2) < MoxIndexIntegerKey(9, 1));
    EXPECT_TRUE(MoxIndexIntegerKey() == 0);

    testing::internal::CaptureStdout();
    a.dump();
    MoxIndexIntegerKey(5, 7).dump();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Value: -3, TupleId: 12, 4)\nValue: 5, NextChild: 7\n");
}

}  // namespace
