#include "base/NameKey.h"

#include "base/Utf8.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tallymere::NameKey {

std::string normalize(std::string_view utf8) {
    const std::string repaired = repairUtf8(utf8);
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(repaired.data(), int32_t(repaired.size())));
    text.toLower(icu::Locale::getRoot());
    icu::UnicodeString kept;
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE)
            kept.append(c);
        i += U16_LENGTH(c);
    }
    std::string out;
    kept.toUTF8String(out);
    return out;
}

} // namespace tallymere::NameKey
