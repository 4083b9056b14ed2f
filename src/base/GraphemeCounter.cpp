#include "base/GraphemeCounter.h"

#include "base/Utf8.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>

namespace tallymere {

struct GraphemeCounter::Iterator {
    std::unique_ptr<icu::BreakIterator> breaks;
};

GraphemeCounter::GraphemeCounter() = default;
GraphemeCounter::~GraphemeCounter() = default;

std::size_t GraphemeCounter::count(std::string_view bytes) {
    // Plain ASCII without a carriage return (which joins a following line feed): a character a byte.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '\r'; }))
        return bytes.size();
    const std::string text = repairUtf8(bytes);
    if (!m_made) {
        m_made = true;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> breaks(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_SUCCESS(status) && breaks) m_iterator = std::make_unique<Iterator>(Iterator{std::move(breaks)});
    }
    if (m_iterator) {
        UErrorCode status = U_ZERO_ERROR;
        UText* utf8 = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
        m_iterator->breaks->setText(utf8, status);
        std::size_t clusters = 0;
        if (U_SUCCESS(status))
            for (m_iterator->breaks->first(); m_iterator->breaks->next() != icu::BreakIterator::DONE;) ++clusters;
        utext_close(utf8);
        if (U_SUCCESS(status)) return clusters;
    }
    // Code points: the bytes that do not continue one.
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace tallymere
