#pragma once
// What the tests change in the Age Map's store. No part of the program includes this.

namespace tallymere::AgeMapStore {

// Holds the prefetching thread before its next folder while `paused`.
void pausePrefetch(bool paused);

} // namespace tallymere::AgeMapStore
