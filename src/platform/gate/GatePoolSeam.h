#pragma once
// What the tests look at in the gate, to see it keep its limits. No part of the program includes this.
#include <string>

namespace tallymere::gate {

// Whether calls under `key` are told at once that its mount does not answer.
bool isSilent(const std::string& key);

// The helpers alive now: idle, at work, and left waiting on mounts (calls past their bound, checks).
int livingHelpers();
// Of those, the ones left waiting on mounts.
int leftHelpers();

} // namespace tallymere::gate
