#pragma once
#include "platform/CommandRunner.h"
#include "platform/ProcReader.h"
#include "services/ProcessSample.h"

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

namespace tallymere::ProcessList {

// At most this many lines of the lister's output become records.
inline constexpr std::size_t maxLines = 40;

// A lister that has not answered by then is killed and its list dropped.
inline constexpr std::chrono::milliseconds listerTimeout{5000};

// The lister's command: every process, with its id, CPU percentage, resident kibibytes and
// executable name, without a header line, busiest first.
std::vector<std::string> listerCommand();

// The records of the first `maxLines` non-empty lines that parse, in line order (never re-sorted).
// A line is blank-separated (spaces only; a tab is part of a field): a 32-bit process id, a finite
// CPU percentage, a 64-bit kibibyte count, then the name, its words joined by single spaces. Lines
// with fewer than four fields or a field that does not parse are skipped but still counted.
std::vector<ProcessSample> parse(std::string_view text);

// The kernel keeps at most this many bytes of a program's name, so the lister prints longer ones cut.
inline constexpr std::size_t kernelNameLength = 15;

// The whole name of a program the lister printed as `printed`: where that is kernelNameLength
// bytes long and begins a longer name of the program, the last component of its executable's
// path, else that of the first word of its first argument (or the first word of that argument's
// last component, for a program that wrote its arguments into one); else `printed` itself.
std::string wholeName(std::string_view printed, const ProcReader::ProgramNames& names);

// Gives every record whose name the kernel cut its whole name, from the process folders under
// `procRoot`.
void completeNames(std::vector<ProcessSample>& samples, const std::string& procRoot = "/proc");

// Runs the lister and parses what it printed, names completed. An empty list when it cannot be started; none when
// it hung and was killed, so the caller keeps the list it has. Blocks: call it from a worker.
std::optional<std::vector<ProcessSample>> sample();

// The same on an output already obtained.
std::optional<std::vector<ProcessSample>> fromOutput(const CommandOutput& output);

} // namespace tallymere::ProcessList
