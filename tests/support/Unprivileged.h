#pragma once
#include <functional>
#include <string>

namespace tallymere::test {

// Runs `body` in a child process that is this test program started afresh (exec'd) for the running
// test alone, never a fork of this process: a fork copies one thread of a process that may hold
// others, and with them locks held and queues of threads that no longer exist, so a child that
// builds widgets or starts threads could hang or crash. The child runs the test from its start up
// to this call (a part of the test run in a child before this one is left out there), then
// `enter`, then `body`, and ends; its failures fail the test. Its temporary folders are made in
// one of this process's, removed with it. `enter` returns why the part cannot run here (empty
// when it can), as the body may with cannotRunHere().
// True when the part ran; false when it could not run here, and whyNotRun() says why.
bool runInFreshChild(const std::function<std::string()>& enter, const std::function<void()>& body);

// In the body of a part run in a child: the part cannot run here, for `reason` (no /dev/fuse, no
// right to mount, ...). Ends the child; the part counts as not run.
[[noreturn]] void cannotRunHere(const std::string& reason);

// Why the last part run in a child did not run.
const std::string& whyNotRun();

// Root reads every folder whatever its mode, so a denied folder needs another user: as root the
// body runs in a fresh child that has dropped to "nobody" (its failures fail the test); as anyone
// else it runs here. False when that is impossible here (whyNotRun() says why).
bool runUnprivileged(const std::function<void()>& body);

// Runs `body` in a fresh child with a mount namespace of its own, where mounts stay private and
// are gone with it (its failures fail the test). False when this process may not make one (not
// root, or no namespaces here), or the body gave up with cannotRunHere(); whyNotRun() says why.
bool runInPrivateMounts(const std::function<void()>& body);

} // namespace tallymere::test
