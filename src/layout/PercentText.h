#pragma once
#include <string>

namespace tallymere {

// A share (0...1) as the lists show it: "<0.1%" for a share above 0 and below 0.001, else the
// percentage with one decimal ("0.0%", "12.5%"), with a "." in every locale.
std::string percentText(double share);

} // namespace tallymere
