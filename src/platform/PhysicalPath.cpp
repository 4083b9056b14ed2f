#include "platform/PhysicalPath.h"

#include "base/PathText.h"
#include "platform/PathGate.h"

#include <cerrno>

namespace tallymere {

std::string physicalPath(const std::string& path) {
    if (path.empty() || path.front() != '/') return {};
    std::string existing = PathText::standardized(path);
    std::string rest;
    for (;;) {
        // Through the gate: the way may pass a mount that stopped answering.
        const PathGate::Text real = PathGate::realPath(existing);
        if (real.error == 0) {
            if (rest.empty()) return real.text;
            return real.text == "/" ? rest : real.text + rest;
        }
        if (real.error == PathGate::notAnswering || existing == "/" || existing.empty()) return {};
        rest = existing.substr(existing.rfind('/')) + rest;
        existing = PathText::parent(existing);
    }
}

} // namespace tallymere
