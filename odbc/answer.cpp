// Writers of getter answers into application buffers.
#include "odbc/answer.h"

#include <cstring>

#include "support/text.h"

int answer_width(const Answer &a) {
    switch (a.kind) {
        case AnswerKind::Int16: return 2;
        case AnswerKind::Int32: return 4;
        case AnswerKind::Int64:
        case AnswerKind::Pointer: return 8;
        case AnswerKind::Text: return 0;
    }
    return 0;
}

namespace {

void write_fixed(const Answer &a, void *value, SQLLEN *length) {
    if (length) *length = answer_width(a);
    if (!value) return;
    switch (a.kind) {
        case AnswerKind::Int16: {
            auto v = static_cast<uint16_t>(a.number);
            std::memcpy(value, &v, sizeof v);
            break;
        }
        case AnswerKind::Int32: {
            auto v = static_cast<uint32_t>(a.number);
            std::memcpy(value, &v, sizeof v);
            break;
        }
        case AnswerKind::Int64: std::memcpy(value, &a.number, sizeof a.number); break;
        case AnswerKind::Pointer: std::memcpy(value, &a.pointer, sizeof a.pointer); break;
        case AnswerKind::Text: break;
    }
}

}  // namespace

bool write_answer(const Answer &a, void *value, SQLLEN capacity, SQLLEN *length) {
    if (a.kind != AnswerKind::Text) {
        write_fixed(a, value, length);
        return false;
    }
    if (length) *length = static_cast<SQLLEN>(a.text.size());
    if (!value) return false;
    return copy_text_out(a.text, static_cast<char *>(value), capacity > 0 ? static_cast<size_t>(capacity) : 0);
}

bool write_answer_wide(const Answer &a, void *value, SQLLEN capacity, WideUnit unit, SQLLEN *length) {
    if (a.kind != AnswerKind::Text) {
        write_fixed(a, value, length);
        return false;
    }
    bool cut = wide_out(a.text, static_cast<SQLWCHAR *>(value), capacity, unit, length);
    return cut && value;
}
