#include "services/SnapshotCodec.h"

#include "base/Utf8.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tallymere::SnapshotCodec {
namespace {

using Json = nlohmann::json;

// The format itself nests three levels (snapshot, entries, entry); unknown keys may carry values of
// their own, but nothing legitimate comes near this. Deeper files are refused before parsing.
constexpr int maxNesting = 64;

// The file counts dates in seconds from 1 January 2001, the program from 1 January 1970 (both UTC).
// For every moment from 1985 on the conversion is exact both ways, so a capture loads back equal.
constexpr double secondsFrom1970To2001 = 978307200.0;

void appendString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    const std::string repaired = isValidUtf8(text) ? std::string() : repairUtf8(text);
    const std::string_view valid = repaired.empty() ? text : std::string_view(repaired);
    out += '"';
    for (const char c : valid) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xF];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendDate(std::string& out, double secondsSince1970) {
    if (!std::isfinite(secondsSince1970))
        throw EncodingError("the snapshot's creation date is not a finite number");
    const double seconds = secondsSince1970 - secondsFrom1970To2001;
    // Fixed notation, shortest digits that read back to the same double.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (result.ec != std::errc()) throw EncodingError("the snapshot's creation date cannot be written");
    out.append(buffer, result.ptr);
}

// Whether brackets and braces outside strings stay within maxNesting. Malformed text may pass; the
// parser rejects it.
bool nestingWithinLimit(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > maxNesting) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

const Json* member(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool readString(const Json& object, const char* key, std::string& out) {
    const Json* value = member(object, key);
    if (!value || !value->is_string()) return false;
    out = value->get_ref<const std::string&>();
    return true;
}

template <class Integer>
bool readInteger(const Json& object, const char* key, Integer& out) {
    const Json* value = member(object, key);
    if (!value) return false;
    if (value->is_number_unsigned()) {
        const auto n = value->get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) return false;
        out = static_cast<Integer>(n);
        return true;
    }
    if (value->is_number_integer()) {
        const auto n = value->get<std::int64_t>();
        if (n < std::numeric_limits<Integer>::min() || n > std::numeric_limits<Integer>::max()) return false;
        out = static_cast<Integer>(n);
        return true;
    }
    return false;
}

bool readEntry(const Json& object, Snapshot::Entry& entry) {
    if (!object.is_object()) return false;
    if (!readString(object, "path", entry.path)) return false;
    if (!readInteger(object, "size", entry.size)) return false;
    if (!readInteger(object, "files", entry.files)) return false;
    const Json* isDirectory = member(object, "isDirectory");
    if (!isDirectory || !isDirectory->is_boolean()) return false;
    entry.isDirectory = isDirectory->get<bool>();
    return true;
}

// A reader for files as this program writes them: compact, known keys only, each once, strings
// without \u escapes, plain integers. It builds the snapshot straight from the bytes, several times
// faster than a document tree. On anything else it gives up (none) and the general reader below
// decides, so both accept and refuse exactly the same files.
class CompactReader {
public:
    explicit CompactReader(std::string_view bytes) : m_p(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    std::optional<Snapshot> read() {
        Snapshot snapshot;
        if (!take('{')) return std::nullopt;
        unsigned seen = 0;
        std::string key;
        do {
            if (!string(key) || !take(':')) return std::nullopt;
            const unsigned bit = keyBit(key);
            if (bit == 0 || (seen & bit)) return std::nullopt;
            seen |= bit;
            bool ok = false;
            switch (bit) {
            case 1: {
                std::string text;
                std::optional<Uuid> id;
                ok = string(text) && (id = Uuid::parse(text)).has_value();
                if (ok) snapshot.id = *id;
                break;
            }
            case 2: ok = date(snapshot.createdAt); break;
            case 4: ok = string(snapshot.rootPath); break;
            case 8: ok = string(snapshot.title); break;
            case 16: ok = integer(snapshot.totalSize); break;
            case 32: ok = integer(snapshot.totalFiles); break;
            case 64: ok = entries(snapshot.entries); break;
            }
            if (!ok) return std::nullopt;
        } while (take(','));
        if (!take('}') || m_p != m_end || seen != 127) return std::nullopt;
        return snapshot;
    }

private:
    static unsigned keyBit(std::string_view key) {
        constexpr std::string_view keys[] = {"id", "createdAt", "rootPath", "title", "totalSize", "totalFiles", "entries"};
        for (unsigned i = 0; i < 7; ++i)
            if (key == keys[i]) return 1u << i;
        return 0;
    }

    bool take(char c) {
        if (m_p == m_end || *m_p != c) return false;
        ++m_p;
        return true;
    }

    bool string(std::string& out) {
        if (!take('"')) return false;
        out.clear();
        bool ascii = true;
        for (;;) {
            const char* start = m_p;
            while (m_p != m_end && *m_p != '"' && *m_p != '\\' && static_cast<unsigned char>(*m_p) >= 0x20) {
                ascii = ascii && static_cast<unsigned char>(*m_p) < 0x80;
                ++m_p;
            }
            out.append(start, m_p);
            if (m_p == m_end || static_cast<unsigned char>(*m_p) < 0x20) return false;
            if (*m_p++ == '"') break;
            if (m_p == m_end) return false;
            switch (*m_p++) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            default: return false; // \u and anything else: the general reader
            }
        }
        return ascii || isValidUtf8(out);
    }

    // -?(0|[1-9][0-9]*) of at most 18 digits, so it fits without overflow checks.
    template <class Integer>
    bool integer(Integer& out) {
        const bool negative = take('-');
        const char* start = m_p;
        std::int64_t value = 0;
        // Digits past the limit are only counted: 19 nines would overflow the value.
        for (; m_p != m_end && *m_p >= '0' && *m_p <= '9'; ++m_p)
            if (m_p - start < 18) value = value * 10 + (*m_p - '0');
        const auto digits = m_p - start;
        if (digits == 0 || digits > 18 || (digits > 1 && *start == '0')) return false;
        if (m_p != m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E')) return false;
        if (negative) value = -value;
        if (value < std::numeric_limits<Integer>::min() || value > std::numeric_limits<Integer>::max()) return false;
        out = static_cast<Integer>(value);
        return true;
    }

    bool date(double& out) {
        const char* start = m_p;
        take('-');
        const char* digits = m_p;
        while (m_p != m_end && *m_p >= '0' && *m_p <= '9') ++m_p;
        if (m_p == digits || (m_p - digits > 1 && *digits == '0')) return false;
        if (take('.')) {
            const char* fraction = m_p;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9') ++m_p;
            if (m_p == fraction) return false;
        }
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) return false;
        double seconds = 0;
        const auto result = std::from_chars(start, m_p, seconds);
        if (result.ec != std::errc() || result.ptr != m_p || !std::isfinite(seconds)) return false;
        out = seconds + secondsFrom1970To2001;
        return true;
    }

    bool entries(std::vector<Snapshot::Entry>& out) {
        if (!take('[')) return false;
        if (take(']')) return true;
        std::string key;
        do {
            Snapshot::Entry& entry = out.emplace_back();
            if (!take('{')) return false;
            unsigned seen = 0;
            do {
                if (!string(key) || !take(':')) return false;
                bool ok = false;
                unsigned bit = 0;
                if (key == "path") bit = 1, ok = string(entry.path);
                else if (key == "size") bit = 2, ok = integer(entry.size);
                else if (key == "files") bit = 4, ok = integer(entry.files);
                else if (key == "isDirectory") bit = 8, ok = boolean(entry.isDirectory);
                if (!ok || (seen & bit)) return false;
                seen |= bit;
            } while (take(','));
            if (!take('}') || seen != 15) return false;
        } while (take(','));
        return take(']');
    }

    bool boolean(bool& out) {
        const auto rest = static_cast<std::size_t>(m_end - m_p);
        if (rest >= 4 && std::string_view(m_p, 4) == "true") {
            m_p += 4;
            return out = true;
        }
        if (rest >= 5 && std::string_view(m_p, 5) == "false") {
            m_p += 5;
            out = false;
            return true;
        }
        return false;
    }

    const char* m_p;
    const char* m_end;
};

} // namespace

std::string encode(const Snapshot& snapshot) {
    std::string out;
    out.reserve(160 + snapshot.entries.size() * 96);
    out += "{\"id\":";
    appendString(out, snapshot.id.text());
    out += ",\"createdAt\":";
    appendDate(out, snapshot.createdAt);
    out += ",\"rootPath\":";
    appendString(out, snapshot.rootPath);
    out += ",\"title\":";
    appendString(out, snapshot.title);
    out += ",\"totalSize\":";
    appendInteger(out, snapshot.totalSize);
    out += ",\"totalFiles\":";
    appendInteger(out, snapshot.totalFiles);
    out += ",\"entries\":[";
    bool first = true;
    for (const auto& entry : snapshot.entries) {
        if (!first) out += ',';
        first = false;
        out += "{\"path\":";
        appendString(out, entry.path);
        out += ",\"size\":";
        appendInteger(out, entry.size);
        out += ",\"files\":";
        appendInteger(out, entry.files);
        out += entry.isDirectory ? ",\"isDirectory\":true}" : ",\"isDirectory\":false}";
    }
    out += "]}";
    return out;
}

std::optional<Snapshot> decode(std::string_view bytes) {
    if (auto snapshot = CompactReader(bytes).read()) return snapshot;
    return decodeGeneral(bytes);
}

std::optional<Snapshot> decodeGeneral(std::string_view bytes) {
    if (!nestingWithinLimit(bytes)) return std::nullopt;
    const Json root = Json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt; // also a parse error, which gives a discarded value

    Snapshot snapshot;
    std::string idText;
    if (!readString(root, "id", idText)) return std::nullopt;
    const auto id = Uuid::parse(idText);
    if (!id) return std::nullopt;
    snapshot.id = *id;

    const Json* createdAt = member(root, "createdAt");
    if (!createdAt || !createdAt->is_number()) return std::nullopt;
    const double secondsSince2001 = createdAt->get<double>();
    if (!std::isfinite(secondsSince2001)) return std::nullopt;
    snapshot.createdAt = secondsSince2001 + secondsFrom1970To2001;

    if (!readString(root, "rootPath", snapshot.rootPath)) return std::nullopt;
    if (!readString(root, "title", snapshot.title)) return std::nullopt;
    if (!readInteger(root, "totalSize", snapshot.totalSize)) return std::nullopt;
    if (!readInteger(root, "totalFiles", snapshot.totalFiles)) return std::nullopt;

    const Json* entries = member(root, "entries");
    if (!entries || !entries->is_array()) return std::nullopt;
    snapshot.entries.resize(entries->size());
    for (std::size_t i = 0; i < entries->size(); ++i)
        if (!readEntry((*entries)[i], snapshot.entries[i])) return std::nullopt;
    return snapshot;
}

} // namespace tallymere::SnapshotCodec
