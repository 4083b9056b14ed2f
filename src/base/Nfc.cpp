#include "base/Nfc.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <vector>

namespace tallymere::Nfc {

void appendNormalized(std::string_view utf8, std::string& out) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out.append(utf8);
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status) || utf8.size() > INT32_MAX / 4) {
        out.append(utf8);
        return;
    }
    const auto length = static_cast<int32_t>(utf8.size());
    // UTF-16 never needs more units than UTF-8 has bytes.
    std::vector<UChar> source(static_cast<std::size_t>(length) + 1);
    int32_t sourceLength = 0;
    u_strFromUTF8(source.data(), static_cast<int32_t>(source.size()), &sourceLength, utf8.data(), length, &status);
    if (U_FAILURE(status)) {
        out.append(utf8);
        return;
    }
    if (unorm2_isNormalized(nfc, source.data(), sourceLength, &status) && U_SUCCESS(status)) {
        out.append(utf8);
        return;
    }
    status = U_ZERO_ERROR;
    // Composition only shortens text; decomposition inside it may lengthen a piece up to three times.
    std::vector<UChar> composed(static_cast<std::size_t>(sourceLength) * 3 + 16);
    const int32_t composedLength = unorm2_normalize(nfc, source.data(), sourceLength, composed.data(),
                                                    static_cast<int32_t>(composed.size()), &status);
    if (U_FAILURE(status)) {
        out.append(utf8);
        return;
    }
    std::string result(static_cast<std::size_t>(composedLength) * 3, '\0');
    int32_t resultLength = 0;
    u_strToUTF8(result.data(), static_cast<int32_t>(result.size()), &resultLength, composed.data(), composedLength,
                &status);
    if (U_FAILURE(status)) {
        out.append(utf8);
        return;
    }
    out.append(result.data(), static_cast<std::size_t>(resultLength));
}

std::string normalized(std::string_view utf8) {
    std::string out;
    appendNormalized(utf8, out);
    return out;
}

} // namespace tallymere::Nfc
