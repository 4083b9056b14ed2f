#pragma once

namespace tallymere::test {

// From now on, in this process, every start of a child that shares its memory until it runs a
// program (how posix_spawn and vfork start one) fails with EAGAIN, as a limit on processes makes it
// fail; threads and plain forks are still made. Call it in a child process of the test: it cannot be
// undone. False where no such filter can be set (another architecture, or none allowed here).
bool forbidChildProcesses();

} // namespace tallymere::test
