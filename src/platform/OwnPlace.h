#pragma once
#include <string>

namespace tallymere::OwnPlace {

// Why the running user should not make or write anything at `path` (absolute, as written): the
// nearest folder at or above it that exists belongs to another user, or a symbolic link on the way
// belongs to another user (a link of root's comes with the system, as /home -> /var/home, and is
// trusted), or it lies below a home folder that is not there. Empty when the place is the user's
// own. Started as root with a user's HOME, the program would otherwise leave folders and files
// there that the user can neither change nor remove, or follow a link the user made into a folder
// of the system's. Looked at through the gate: a place on a mount that does not answer is not one to
// write to ("PATH does not answer").
std::string whyNotOwn(const std::string& path);

} // namespace tallymere::OwnPlace
