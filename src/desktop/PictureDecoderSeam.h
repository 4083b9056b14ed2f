#pragma once
// What the tests change in the picture decoder to reach its rare cases at once. No part of the
// program includes this: it runs with the decoder's own limit, its threads never held.
#include <chrono>

namespace tallymere::PictureDecoder {

// Replaces the time limit in force (timeLimit until changed); returns the one it replaces.
std::chrono::milliseconds setTimeLimit(std::chrono::milliseconds limit);

// Holds the decoding threads before their next picture while set.
void pauseThreads(bool paused);

} // namespace tallymere::PictureDecoder
