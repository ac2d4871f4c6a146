#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "MoxSupport.h"

static const MoxComponent componentId = Support;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

MoxErrorCode failingCall(MoxErrorCode code) {
    return code;
}

}  // namespace

// Exported and not inlined, so that the back-trace names it.
__attribute__((noinline)) void moxTestThrowFromNamedFunction(int) {
    THROW_wARGS2(MOX_FM_PAGE_NOT_EXISTS, 4, "Seg1");
}

TEST(MoxException, RaiseThrowsEveryCodeButSuccess) {
    MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, 1);
    EXPECT_EQ(THROW_RC(failingCall(MOX_SUCCESS)), MOX_SUCCESS);
    EXPECT_EQ(MoxGetErrorCode(), MOX_FM_FILE_NOT_FOUND) << "success leaves the error object alone";

    for (MoxErrorCode code : {MOX_NOT_FOUND_WARN, MOX_BM_BUFFER_FULL}) {
        try {
            THROW_RC(failingCall(code));
            FAIL() << "no exception for " << code;
        } catch (const MoxException& exception) {
            EXPECT_EQ(exception.getErrorCode(), code);
            EXPECT_EQ(exception.getCall(), "failingCall(code)");
            EXPECT_EQ(exception.getFunction(),
                      "virtual void MoxException_RaiseThrowsEveryCodeButSuccess_Test::TestBody()");
            EXPECT_EQ(MoxGetErrorCode(), MOX_SUCCESS) << "the exception now carries the failure";
        }
    }
}

TEST(MoxException, ThrowFormsCarryPlaceAndTokens) {
    try {
        THROW_wARGS4(MOX_FM_FILE_INVALID_SIZE, 1, 4097u, "four", 2.5);
    } catch (const MoxException& exception) {
        EXPECT_EQ(exception.getCall(), "UNKNOWN");
        EXPECT_EQ(exception.getFile(), __FILE__);
        EXPECT_EQ(exception.getErrorToken(1), "1");
        EXPECT_EQ(exception.getErrorToken(2), "4097");
        EXPECT_EQ(exception.getErrorToken(3), "four");
        EXPECT_EQ(exception.getErrorToken(4), "2.5");
        EXPECT_EQ(exception.getOriginal(), nullptr);
        EXPECT_STREQ(exception.what(), std::exception().what());
    }
}

TEST(MoxException, ThrowRcExKeepsTheOriginal) {
    try {
        THROW(MOX_INTERNAL_FAIL);
    } catch (const MoxException& first) {
        try {
            THROW_RC_EX(first, failingCall(MOX_FM_FILE_NOT_OPEN));
        } catch (const MoxException& second) {
            EXPECT_EQ(second.getOriginal(), &first);
            EXPECT_EQ(second.getErrorCode(), MOX_FM_FILE_NOT_OPEN);
            EXPECT_EQ(second.getCall(), "failingCall(MOX_FM_FILE_NOT_OPEN)");
            MoxException copy(second);
            EXPECT_EQ(copy.getOriginal(), &first);
            EXPECT_EQ(copy.getBacktrace(), second.getBacktrace());
        }
    }
}

TEST(MoxException, SetErrorPassesTokensUpToTheLastOneGiven) {
    MoxException exception(MOX_FM_PAGE_NOT_EXISTS, "f.cpp", 1, "void f()", "4", "", "");
    exception.SET_ERROR();
    char message[MOX_ERROR_MESSAGE_LENGTH + 1] = {0};
    MoxError::getErrorObject()->getError(message, sizeof(message), nullptr);
    EXPECT_STREQ(message, "Page number 4 does not exist in segment (null).  The file contains only (null) pages.");
    EXPECT_EQ(MoxError::getErrorObject()->getComponent(), Support);
}

TEST(MoxException, PrintShowsHeadingMessageAndBacktrace) {
    try {
        moxTestThrowFromNamedFunction(1);
    } catch (const MoxException& exception) {
        std::ostringstream out;
        exception.print(out);
        std::vector<std::string> printed = lines(out.str());
        ASSERT_GE(printed.size(), 5u);
        EXPECT_EQ(printed[0], "");
        EXPECT_EQ(printed[1], "Exception aufgetreten: ");
        EXPECT_EQ(printed[2],
                  "Page number 4 does not exist in segment Seg1.  The file contains only  pages. SQLSTATE=FM005");
        EXPECT_EQ(printed[3], "[bt]: omitted errorhandling on stacktrace");
        bool namedFrame = false;
        ASSERT_EQ(printed.back(), "");
        for (size_t i = 4; i + 1 < printed.size(); ++i) {
            EXPECT_EQ(printed[i].rfind("[bt]: (", 0), 0u) << printed[i];
            if (printed[i].find(" : moxTestThrowFromNamedFunction(int)+0x") != std::string::npos) namedFrame = true;
        }
        EXPECT_TRUE(namedFrame) << out.str();
        EXPECT_EQ(out.str().substr(out.str().size() - 2), "\n\n") << "the print closes with an empty line";
    }
}

TEST(MoxException, PrintedMessageIsCutAt999Characters) {
    // Short enough to be formatted, longer than what is printed.
    std::string token(980, 'x');
    MoxException exception(MOX_COMPILER_TABLE_NOT_EXISTS, "f.cpp", 1, "void f()", token);
    std::ostringstream out;
    exception.print_message(out);
    std::vector<std::string> printed = lines(out.str());
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[2].size(), 999 + std::string(" SQLSTATE=CP101").size());
    EXPECT_EQ(printed[2].substr(999), " SQLSTATE=CP101");
}

TEST(MoxException, BacktraceWithTooFewFramesStartsAtFrameOne) {
    std::ostringstream out;
    print_trace(out, 1000);
    std::vector<std::string> printed = lines(out.str());
    ASSERT_GE(printed.size(), 2u);
    EXPECT_EQ(printed[0], "[bt]: omitted errorhandling on stacktrace");
    EXPECT_EQ(printed[1].rfind("[bt]: (1) ", 0), 0u);
}

TEST(MoxException, TerminateHandlerPrintsItsFarewellAndATraceThenAborts) {
    std::string path = "/tmp/moxterminate." + std::to_string(getpid());
    ChildProcess child([&path] {
        if (freopen(path.c_str(), "w", stderr) == nullptr) return 1;
        std::set_terminate(func_terminate_handler);
        std::terminate();
    });
    EXPECT_EQ(child.wait(), 128 + SIGABRT);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> printed = lines(text.str());
    ASSERT_GE(printed.size(), 4u);
    EXPECT_EQ(printed[0], "");
    EXPECT_EQ(printed[1], "Asta la vista Baby - Program terminated on Exception!");
    EXPECT_EQ(printed[2], "[bt]: omitted errorhandling on stacktrace");
    remove(path.c_str());
}
