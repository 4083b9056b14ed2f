#pragma once
// What the window benchmarks read of their own process, and how they let the event loop run.
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace tallymere::bench {

// A size field of /proc/self/status ("VmRSS:", "VmHWM:") in megabytes; 0 when it is missing.
inline double statusMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field)) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    return 0;
}

// From now on the peak resident size counts again from the size now.
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Runs the event loop for `ms` milliseconds.
inline void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace tallymere::bench
