// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/plaintext.h"

#include "base/text.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <memory>

namespace extract {

namespace {

// Valid UTF-8 apart from a sequence the cut broke off at the end.
bool isUtf8(std::string_view bytes, bool cut)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = utf8SequenceLength(bytes, i);
        if (length == 0)
            return cut && bytes.size() - i < 4;
        i += length;
    }
    return true;
}

std::string convert(std::string_view bytes, const char* encoding)
{
    UErrorCode status = U_ZERO_ERROR;
    // Worst case: each byte of a legacy encoding is a three-byte UTF-8 character.
    std::string out(bytes.size() * 3 + 16, '\0');
    const int32_t length =
        ucnv_convert("UTF-8", encoding, out.data(), int32_t(out.size()), bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::string(bytes);
    out.resize(std::size_t(length));
    return out;
}

std::string detectedEncoding(std::string_view bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status), ucsdet_close);
    if (U_FAILURE(status))
        return "windows-1252";
    // The detector needs no more than a sample to decide.
    ucsdet_setText(detector.get(), bytes.data(), int32_t(std::min<std::size_t>(bytes.size(), 64 * 1024)), &status);
    const UCharsetMatch* match = ucsdet_detect(detector.get(), &status);
    const char* name = match && U_SUCCESS(status) ? ucsdet_getName(match, &status) : nullptr;
    return name && U_SUCCESS(status) ? name : "windows-1252";
}

}  // namespace

std::string textAsUtf8(std::string_view bytes, bool cut)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return convert(bytes.substr(2), "UTF-16LE");
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return convert(bytes.substr(2), "UTF-16BE");
    if (isUtf8(bytes, cut))
        return std::string(bytes);
    return convert(bytes, detectedEncoding(bytes).c_str());
}

}  // namespace extract
