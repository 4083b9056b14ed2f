#pragma once
#include <cstdint>
#include <string>

namespace tallymere {

// One process as the process lister saw it. Identified by `pid`; equal when every field is.
struct ProcessSample {
    std::int32_t pid = 0;
    std::string name;               // the executable's name as printed (raw bytes, may hold spaces)
    double cpu = 0;                 // share of one core: 1.5 keeps one and a half cores busy
    std::int64_t residentBytes = 0; // resident memory

    std::int32_t id() const { return pid; }
    friend bool operator==(const ProcessSample&, const ProcessSample&) = default;
};

} // namespace tallymere
