#include "platform/PhysicalPath.h"

#include "base/PathText.h"

#include <cstdlib>

namespace tallymere {

std::string physicalPath(const std::string& path) {
    if (path.empty() || path.front() != '/') return {};
    std::string existing = PathText::standardized(path);
    std::string rest;
    for (;;) {
        if (char* resolved = ::realpath(existing.c_str(), nullptr)) {
            std::string real = resolved;
            std::free(resolved);
            if (rest.empty()) return real;
            return real == "/" ? rest : real + rest;
        }
        if (existing == "/" || existing.empty()) return {};
        rest = existing.substr(existing.rfind('/')) + rest;
        existing = PathText::parent(existing);
    }
}

} // namespace tallymere
