#pragma once
#include "services/Snapshot.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tallymere::SnapshotCodec {

// Thrown by encode when the snapshot has no JSON form (a creation date that is not finite).
struct EncodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The snapshot as one compact JSON object: keys in field order, "/" escaped as "\/", the date
// converted to seconds since 1 January 2001 with the shortest fraction that reads back to the same
// number. Strings that are not valid UTF-8 are written repaired, so every encoded snapshot decodes
// again.
std::string encode(const Snapshot& snapshot);

// The snapshot a file holds, its date converted to seconds since 1970, or none when the bytes are
// not one: not JSON, nested deeper than the format ever is, a required key missing, a value of the
// wrong JSON type, an integer outside its field's range or an id that is not UUID text. Keys are
// matched by name; unknown keys are ignored; a repeated key counts with its last value. Never
// throws.
std::optional<Snapshot> decode(std::string_view bytes);

// The same answer from the general JSON reader alone. decode() reaches it faster for the compact
// files this program writes and falls back to this for any other text.
std::optional<Snapshot> decodeGeneral(std::string_view bytes);

} // namespace tallymere::SnapshotCodec
