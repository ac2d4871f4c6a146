#include "MoxAbstractLogEntry.h"

#include <cstring>
#include <iostream>

#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

MoxAbstractLogEntry::MoxAbstractLogEntry()
    : transactionID(MoxTransactionId::INVALID_TRANSACTION_ID), transactionType(0), length(0), sPrevLsn("0,0") {}

void MoxAbstractLogEntry::dump() {
    MOX_TRACE_ENTRY();
    std::unique_ptr<char[]> form(serialize());
    std::cout.write(form.get(), length);
    std::cout << std::endl;
}

void MoxAbstractLogEntry::setCommonFields(MoxTransactionId transactionId, int type) {
    MOX_TRACE_ENTRY();
    transactionID = transactionId;
    transactionType = type;
    length = 0;
    sTid = transactionId.dump();
    sTT = std::to_string(type);
}

char* MoxAbstractLogEntry::serializeFields(char kind, std::initializer_list<std::string_view> fields) {
    MOX_TRACE_ENTRY();
    const std::string_view kindText(&kind, 1);
    const std::string_view head[] = {kindText, sLsn, sPrevLsn, sTid};
    size_t total = 0;
    for (std::string_view field : head) total += field.size() + 1;
    for (std::string_view field : fields) total += field.size() + 1;
    length = static_cast<int>(total);
    char* form = new char[total + 1]();
    char* next = form;
    auto append = [&next](std::string_view field) {
        if (!field.empty()) {
            memcpy(next, field.data(), field.size());
            next += field.size();
        }
        *next++ = ';';
    };
    for (std::string_view field : head) append(field);
    for (std::string_view field : fields) append(field);
    return form;
}

std::unique_ptr<char[]> MoxAbstractLogEntry::copyImage(const char* image, int imageLength) {
    MOX_TRACE_ENTRY();
    if (imageLength < 0 || (image == nullptr && imageLength > 0)) {
        THROW_wARGS1(MOX_PARAMETER_FAIL, imageLength);
    }
    if (image == nullptr) {
        return nullptr;
    }
    std::unique_ptr<char[]> copy(new char[imageLength + 1]);
    memcpy(copy.get(), image, imageLength);
    copy[imageLength] = '\0';
    return copy;
}
