#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "MoxSupport.h"
#include "support/MoxErrorMessages.h"

static const MoxComponent componentId = Support;

namespace {

struct ErrorText {
    std::string message;
    std::string sqlstate;
};

ErrorText currentError(Uint32 length = MOX_ERROR_MESSAGE_LENGTH + 1) {
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    char sqlstate[MOX_SQLSTATE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, length, sqlstate);
    return {message, sqlstate};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(MoxErrorTable, HasOneRowPerCodeWithoutGapsAndSixWarnings) {
    std::set<std::string> warnings;
    for (int row = 0; row < MOX_NUMBER_OF_ERROR_CODES; ++row) {
        const MoxErrorMessage& entry = errorMessages[row];
        EXPECT_EQ(std::abs(static_cast<int>(entry.errorCode)), row);
        EXPECT_EQ(strlen(entry.sqlstate), static_cast<size_t>(MOX_SQLSTATE_LENGTH));
        if (entry.errorCode > 0) warnings.insert(entry.sqlstate);
    }
    // The rows of codes 0 to 120, and the codes added since behind them.
    EXPECT_EQ(MOX_NUMBER_OF_ERROR_CODES, 124);
    EXPECT_EQ(MOX_TRANSACTION_ID_PARSING_FAILED, -120);
    EXPECT_EQ(MOX_MM_SHM_OTHER_DATABASE, -121);
    EXPECT_EQ(MOX_LATCH_HOLDER_DIED, -122);
    EXPECT_EQ(MOX_SYSTEM_ROLLBACK_FAILED, -123);
    EXPECT_EQ(warnings, (std::set<std::string>{"02000", "OPT00", "OPT01", "RM000", "MM004", "LT001"}));
    // Texts whose odd spellings and trailing blanks others may match on.
    EXPECT_STREQ(errorMessages[-MOX_RM_REC_NOT_FOUND].message, "The Record was not found ");
    EXPECT_STREQ(errorMessages[-MOX_LOGM_FILE_WRITE_FAILED].message, "The File could not be closed.");
    EXPECT_STREQ(errorMessages[-MOX_COMPILER_UNTERMINATED_STRING].message,
                 "An unterminated string was encountered at \"%s\".");
}

TEST(MoxErrorObject, ReportsSuccessBeforeAnyError) {
    // A child starts from a fresh error object of its own.
    ChildProcess child([] {
        delete MoxError::getErrorObject();
        MoxError fresh;
        ErrorText error = currentError();
        return error.message == "The operation was completed successfully." && error.sqlstate == "00000" ? 0 : 1;
    });
    EXPECT_EQ(child.wait(), 0);
}

TEST(MoxErrorObject, FillsTokensInOrder) {
    MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, 7);
    EXPECT_EQ(currentError().message, "The file for segment 7 could not be found.");
    EXPECT_EQ(currentError().sqlstate, "FM001");
    EXPECT_EQ(MoxGetErrorCode(), MOX_FM_FILE_NOT_FOUND);

    MOX_SET_ERROR_TOKEN4(MOX_COMPILER_PARSE_ERROR_TOKEN, "e", "s", "t", "b");
    EXPECT_EQ(currentError().message,
              "A parsing error \"e\" occured in statement \"s\".  Parsing stopped after token \"t\" at the beginning "
              "of \"b\".");

    // Numbers of both signs and texts mix in one call.
    MOX_SET_ERROR_TOKEN3(MOX_FM_FILE_INVALID_SIZE, static_cast<Uint32>(4294967295U), -5, "x");
    EXPECT_EQ(currentError().message,
              "The file for segment 4294967295 has an invalid size of -5 bytes.  Each file must have a size that is "
              "a multiple of the page size of x bytes.");
}

TEST(MoxErrorObject, FormatsTheIntegerPlaceholderAsANumber) {
    MOX_SET_ERROR_TOKEN3(MOX_RUNTIME_REGEXP_MATCH_FAIL, "abc", "a.*", -17);
    EXPECT_EQ(currentError().message,
              "An error occured while matching the string 'abc' against the regular expression 'a.*'.  An error "
              "code -17 was returned.");
    EXPECT_EQ(currentError().sqlstate, "RT002");
}

TEST(MoxErrorObject, ShowsAbsentTokensWithoutReadingThem) {
    MOX_SET_ERROR(MOX_FM_PAGE_NOT_EXISTS);
    EXPECT_EQ(currentError().message,
              "Page number (null) does not exist in segment (null).  The file contains only "
              "(null) pages.");
    MOX_SET_ERROR_TOKEN1(MOX_FM_PAGE_NOT_EXISTS, "");
    EXPECT_EQ(currentError().message,
              "Page number  does not exist in segment (null).  The file contains only (null) pages.");
}

TEST(MoxErrorObject, FallsBackForUnknownCodesAndOverlongMessages) {
    MoxError::getErrorObject()->setError(Support, static_cast<MoxErrorCode>(-500));
    EXPECT_EQ(currentError().message, "Internal message failure");
    EXPECT_EQ(currentError().sqlstate, "ERZZZ");

    // Text plus tokens may reach 1025 characters; one more falls back.
    const char* text = errorMessages[-MOX_FM_FILE_NOT_FOUND].message;
    std::string fits(1025 - strlen(text), 'a');
    MoxError::getErrorObject()->setError(FileManager, MOX_FM_FILE_NOT_FOUND, fits.c_str());
    ErrorText error = currentError();
    EXPECT_EQ(error.message.size(), 1023u);
    EXPECT_EQ(error.message.rfind("The file for segment aaa", 0), 0u);

    std::string tooLong = fits + "a";
    MoxError::getErrorObject()->setError(FileManager, MOX_FM_FILE_NOT_FOUND, tooLong.c_str());
    EXPECT_EQ(currentError().message, "Internal message failure");
    EXPECT_EQ(currentError().sqlstate, "FM001");
}

TEST(MoxErrorObject, KeepsOnlyTheFirstLocationOfAnInternalFailure) {
    MoxError* error = MoxError::getErrorObject();
    error->setError(Support, MOX_INTERNAL_FAIL);
    error->addTraceRecord("a.cpp", "void f()", 10);
    error->addTraceRecord("b.cpp", "void g()", 20);
    EXPECT_EQ(currentError().message, "An internal failure was encountered.  (a.cpp:10 void f())");

    // A new error starts over; errors of other kinds get no location.
    error->setError(Support, MOX_PARAMETER_FAIL);
    error->addTraceRecord("c.cpp", "void h()", 30);
    EXPECT_EQ(currentError().message, "An invalid parameter value was detected.  (c.cpp:30 void h())");
    MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, 1);
    EXPECT_EQ(currentError().message, "The file for segment 1 could not be found.");
}

TEST(MoxErrorObject, CopiesOutAtMostTheGivenLength) {
    MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, 7);
    EXPECT_EQ(currentError(9).message, "The file");
    char message[4] = {'x', 'x', 'x', 'x'};
    MoxError::getErrorObject()->getError(message, 1, nullptr);
    EXPECT_EQ(message[0], '\0');
    MoxError::getErrorObject()->getError(nullptr, 10, nullptr);
    EXPECT_EQ(MoxGetErrorCode(), MOX_PARAMETER_FAIL);
}

TEST(MoxErrorObject, RefusesASecondErrorObject) {
    MoxError::getErrorObject();
    MoxError second;
    EXPECT_EQ(MoxGetErrorCode(), MOX_ERROR_DUPLICATE_ERROR_OBJECT);
    EXPECT_EQ(currentError().sqlstate, "ER000");
}

TEST(MoxErrorObject, WritesErrorsAndLocationsToTheStackTraceFile) {
    std::string path = std::string("/tmp/moxstacktrace.") + std::to_string(getpid());
    ChildProcess child([&path] {
        delete MoxError::getErrorObject();
        setenv("MOX_STACK_TRACE_FILE", path.c_str(), 1);
        MoxError errorObject;
        errorObject.setError(FileManager, MOX_FM_FILE_NOT_FOUND, "3");
        errorObject.addTraceRecord("x.cpp", "int f(int)", 12);
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);
    EXPECT_EQ(readFile(path), "The file for segment 3 could not be found.\nx.cpp:12 int f(int) (-93)\n");
    remove(path.c_str());
}

TEST(MoxErrorObject, ConvertsTokens) {
    char buffer[MOX_ERROR_TOKEN_BUFFER_LENGTH] = {0};
    EXPECT_STREQ(MoxError::convertToString(static_cast<Uint32>(4294967295U), buffer), "4294967295");
    EXPECT_STREQ(MoxError::convertToString(static_cast<Sint32>(-2147483647 - 1), buffer), "-2147483648");
    const char* text = "abc";
    EXPECT_EQ(MoxError::convertToString(text, buffer), text);
    EXPECT_EQ(MOX_DIGITS_OF_TYPE(Uint32), 12u);
    EXPECT_EQ(MOX_ERROR_TOKEN_BUFFER_LENGTH, 22u);
}
