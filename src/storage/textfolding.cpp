// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/textfolding.h"

#include "storage/cppsqlite3.h"

#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <memory>
#include <string>
#include <unordered_map>

namespace {

// One character beyond ASCII folded: decomposed, its non-spacing marks dropped, fully case-folded.
std::string foldCharacter(UChar32 c)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* decompose = unorm2_getNFDInstance(&status);
    UChar single[2];
    int32_t singleLength = 0;
    U16_APPEND_UNSAFE(single, singleLength, c);
    UChar decomposed[32];
    const int32_t decomposedLength = unorm2_normalize(decompose, single, singleLength, decomposed, 32, &status);
    if (U_FAILURE(status))
        return {};
    UChar kept[32];
    int32_t keptLength = 0;
    for (int32_t i = 0; i < decomposedLength;) {
        UChar32 part;
        U16_NEXT(decomposed, i, decomposedLength, part);
        if (u_charType(part) != U_NON_SPACING_MARK)
            U16_APPEND_UNSAFE(kept, keptLength, part);
    }
    UChar folded[64];
    const int32_t foldedLength = u_strFoldCase(folded, 64, kept, keptLength, U_FOLD_CASE_DEFAULT, &status);
    char out[256];
    int32_t outLength = 0;
    u_strToUTF8(out, sizeof out, &outLength, folded, foldedLength, &status);
    return U_SUCCESS(status) ? std::string(out, std::size_t(outLength)) : std::string();
}

const std::string& foldedCharacter(UChar32 c)
{
    // Texts repeat few distinct characters beyond ASCII: each is worked out once per thread.
    thread_local std::unordered_map<UChar32, std::string> known;
    auto [at, added] = known.try_emplace(c);
    if (added)
        at->second = foldCharacter(c);
    return at->second;
}

// ---- the FTS5 tokenizer ------------------------------------------------------------------------

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

int foldToken(void* self, int flags, const char* token, int length, int start, int end)
{
    auto* context = static_cast<Context*>(self);
    context->folded = foldText(std::string_view(token, std::size_t(length)));
    if (context->folded.empty())
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

void foldFunction(sqlite3_context* context, int, sqlite3_value** values)
{
    if (sqlite3_value_type(values[0]) != SQLITE_TEXT) {
        sqlite3_result_value(context, values[0]);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    const int length = sqlite3_value_bytes(values[0]);
    const std::string folded = foldText(std::string_view(text, std::size_t(length)));
    sqlite3_result_text(context, folded.data(), int(folded.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::string foldText(std::string_view text)
{
    std::string folded;
    folded.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = int32_t(text.size());
    for (int32_t i = 0; i < length;) {
        const uint8_t byte = bytes[i];
        if (byte < 0x80) {
            folded += byte >= 'A' && byte <= 'Z' ? char(byte + 32) : char(byte);
            ++i;
            continue;
        }
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
            folded.append(text.substr(std::size_t(start), std::size_t(i - start)));
        else
            folded += foldedCharacter(c);
    }
    return folded;
}

bool registerTextFolding(CppSQLite3DB& db)
{
    sqlite3* connection = db.connection();
    if (sqlite3_create_function_v2(connection, "fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                   nullptr, foldFunction, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return false;
    fts5_api* api = ftsApi(connection);
    if (!api)
        return false;
    static fts5_tokenizer tokenizer{create, destroy, tokenize};
    return api->xCreateTokenizer(api, "folded", api, &tokenizer, nullptr) == SQLITE_OK;
}
