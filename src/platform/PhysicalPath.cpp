#include "platform/PhysicalPath.h"

#include "base/PathText.h"
#include "platform/PathGate.h"

namespace tallymere {

std::string physicalPath(const std::string& path) {
    if (path.empty() || path.front() != '/') return {};
    std::string existing = PathText::standardized(path);
    std::string rest;
    for (;;) {
        // Through the gate: a folder on a mount whose server stopped answering would hold whoever
        // asks for as long as it stays stuck.
        const PathGate::Text resolved = PathGate::realPath(existing);
        if (!resolved.error) {
            if (rest.empty()) return resolved.text;
            return resolved.text == "/" ? rest : resolved.text + rest;
        }
        // Nothing there can be resolved now: the path is taken as written.
        if (resolved.error == PathGate::notAnswering) return existing == "/" && !rest.empty() ? rest : existing + rest;
        if (existing == "/" || existing.empty()) return {};
        rest = existing.substr(existing.rfind('/')) + rest;
        existing = PathText::parent(existing);
    }
}

} // namespace tallymere
