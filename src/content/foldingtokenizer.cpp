// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/foldingtokenizer.h"

#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace content {

namespace {

struct Wrapped {
    fts5_tokenizer next{};
    Fts5Tokenizer* instance = nullptr;
};

struct Context {
    void* caller;
    int (*emit)(void*, int, const char*, int, int, int);
    std::string folded;
};

fts5_api* ftsApi(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "select fts5(?1);", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

// The token decomposed, without its combining marks, case-folded; false when ICU cannot.
bool fold(const char* token, int length, std::string& out)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* decompose = unorm2_getNFDInstance(&status);
    std::vector<UChar> wide(std::size_t(length) + 1), decomposed(std::size_t(length) * 4 + 8),
        kept(std::size_t(length) * 4 + 8), caseFolded(std::size_t(length) * 8 + 16);
    int32_t wideLength = 0;
    u_strFromUTF8(wide.data(), int32_t(wide.size()), &wideLength, token, length, &status);
    const int32_t decomposedLength =
        unorm2_normalize(decompose, wide.data(), wideLength, decomposed.data(), int32_t(decomposed.size()), &status);
    if (U_FAILURE(status))
        return false;
    int32_t keptLength = 0;
    for (int32_t i = 0; i < decomposedLength;) {
        UChar32 c;
        U16_NEXT(decomposed.data(), i, decomposedLength, c);
        if (u_charType(c) != U_NON_SPACING_MARK)
            U16_APPEND_UNSAFE(kept.data(), keptLength, c);
    }
    const int32_t foldedLength = u_strFoldCase(caseFolded.data(), int32_t(caseFolded.size()), kept.data(), keptLength,
                                               U_FOLD_CASE_DEFAULT, &status);
    out.resize(std::size_t(foldedLength) * 3 + 4);
    int32_t outLength = 0;
    u_strToUTF8(out.data(), int32_t(out.size()), &outLength, caseFolded.data(), foldedLength, &status);
    out.resize(std::size_t(std::max(outLength, 0)));
    return U_SUCCESS(status) && !out.empty();
}

int foldToken(void* self, int flags, const char* token, int length, int start, int end)
{
    auto* context = static_cast<Context*>(self);
    if (std::none_of(token, token + length, [](char c) { return static_cast<unsigned char>(c) >= 0x80; })
        || !fold(token, length, context->folded))
        return context->emit(context->caller, flags, token, length, start, end);
    return context->emit(context->caller, flags, context->folded.data(), int(context->folded.size()), start, end);
}

int create(void* apiPointer, const char** arguments, int count, Fts5Tokenizer** out)
{
    auto* api = static_cast<fts5_api*>(apiPointer);
    const char* parent = count > 0 ? arguments[0] : "unicode61";
    auto wrapped = std::make_unique<Wrapped>();
    void* userData = nullptr;
    int result = api->xFindTokenizer(api, parent, &userData, &wrapped->next);
    if (result == SQLITE_OK)
        result = wrapped->next.xCreate(userData, count > 0 ? arguments + 1 : nullptr, count > 0 ? count - 1 : 0,
                                       &wrapped->instance);
    if (result != SQLITE_OK)
        return result;
    *out = reinterpret_cast<Fts5Tokenizer*>(wrapped.release());
    return SQLITE_OK;
}

void destroy(Fts5Tokenizer* tokenizer)
{
    auto* wrapped = reinterpret_cast<Wrapped*>(tokenizer);
    wrapped->next.xDelete(wrapped->instance);
    delete wrapped;
}

int tokenize(Fts5Tokenizer* tokenizer, void* caller, int flags, const char* text, int length,
             int (*emit)(void*, int, const char*, int, int, int))
{
    auto* wrapped = reinterpret_cast<Wrapped*>(tokenizer);
    Context context{caller, emit, {}};
    return wrapped->next.xTokenize(wrapped->instance, &context, flags, text, length, foldToken);
}

}  // namespace

bool registerFoldingTokenizer(sqlite3* db)
{
    fts5_api* api = ftsApi(db);
    if (!api)
        return false;
    static fts5_tokenizer tokenizer{create, destroy, tokenize};
    return api->xCreateTokenizer(api, "folded", api, &tokenizer, nullptr) == SQLITE_OK;
}

}  // namespace content
