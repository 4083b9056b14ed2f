#pragma once
#include <chrono>
#include <functional>
#include <string>

// The desktop's opener program (xdg-open), run and watched off the window's thread.
namespace tallymere::OpenerProcess {

// How the program ended: its exit status, or the signal that stopped it.
struct Ending {
    bool signalled = false;
    int code = 0;
};

// Starts `program` with the single argument `argument`, in a session of its own, and waits for it
// on a thread of its own, where `failed` is called when it ends in an error within `watch` (a
// program that ends later, or well, is not heard of again). Returns at once; false when the
// program could not be started. Nothing is stopped when the caller goes away.
bool start(const std::string& program, const std::string& argument, std::chrono::seconds watch,
           std::function<void(Ending)> failed);

} // namespace tallymere::OpenerProcess
