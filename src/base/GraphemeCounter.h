#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

namespace tallymere {

// Counts user-perceived characters (extended grapheme clusters) with ICU's character break
// iterator of the root locale. The iterator is made for the first text that is not plain ASCII
// and serves every later one, so counting the paths of a tree without such names loads no break
// rules. A counter is used by one thread at a time.
class GraphemeCounter {
public:
    GraphemeCounter();
    ~GraphemeCounter();
    GraphemeCounter(const GraphemeCounter&) = delete;
    GraphemeCounter& operator=(const GraphemeCounter&) = delete;

    // The characters of `bytes` read as UTF-8, each ill-formed sequence counting as one
    // replacement character. Code points when ICU cannot make its iterator.
    std::size_t count(std::string_view bytes);

private:
    struct Iterator;
    std::unique_ptr<Iterator> m_iterator;
    bool m_made = false;
};

} // namespace tallymere
