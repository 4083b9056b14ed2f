#include "services/SnapshotCodec.h"

#include "base/Utf8.h"

#include <nlohmann/json.hpp>

#include <array>
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

// The reader for any JSON text: it takes the parser's events one by one and keeps only the
// snapshot's own values, so what else a file holds (values under unknown keys, however large) is
// read past without being built. A key met again counts with its last value, valid or not, so
// a value is judged when it ends and the snapshot only once the text has ended.
class GeneralReader {
public:
    using Integer = Json::number_integer_t;
    using Unsigned = Json::number_unsigned_t;
    using Float = Json::number_float_t;
    using String = Json::string_t;

    // The snapshot, once the parser has accepted the whole text; none when a value was missing
    // or wrong.
    std::optional<Snapshot> result() {
        for (const State state : m_top)
            if (state != State::valid) return std::nullopt;
        if (m_entries != State::valid) return std::nullopt;
        return std::move(m_snapshot);
    }

    // The parser's events. A false answer stops it: only where no later key can mend the file.
    bool null() { return value(Value{}); }
    bool boolean(bool flag) { return value(Value{.kind = Value::Kind::boolean, .flag = flag}); }
    bool number_integer(Integer number) { return value(Value{.kind = Value::Kind::integer, .integer = number}); }
    bool number_unsigned(Unsigned number) { return value(Value{.kind = Value::Kind::whole, .whole = number}); }
    bool number_float(Float number, const String&) { return value(Value{.kind = Value::Kind::fraction, .fraction = number}); }
    bool string(String& text) { return value(Value{.kind = Value::Kind::text, .text = &text}); }
    bool binary(Json::binary_t&) { return value(Value{}); }
    bool start_object(std::size_t) { return open(Frame::entry); }
    bool start_array(std::size_t) { return open(Frame::entries); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(String& name) {
        if (m_frames.back() == Frame::top) m_field = topField(name);
        else if (m_frames.back() == Frame::entry) m_field = entryField(name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    enum class State : unsigned char { missing, valid, invalid };
    // The containers open: the snapshot, its entries, one entry, or any other (read past).
    enum class Frame : unsigned char { top, entries, entry, other };
    // The key whose value comes next. The first seven are the snapshot's, in m_top's order.
    enum Field : unsigned char { id, createdAt, rootPath, title, totalSize, totalFiles, entries, path, size, files,
                                 isDirectory, unknown };
    static constexpr int topFields = 6; // without entries, which has a state of its own

    struct Value {
        enum class Kind : unsigned char { other, boolean, integer, whole, fraction, text } kind = Kind::other;
        bool flag = false;
        Integer integer = 0;
        Unsigned whole = 0;
        Float fraction = 0;
        String* text = nullptr;
    };

    static Field topField(std::string_view name) {
        constexpr std::string_view names[] = {"id", "createdAt", "rootPath", "title", "totalSize", "totalFiles", "entries"};
        for (int i = 0; i < 7; ++i)
            if (name == names[i]) return static_cast<Field>(i);
        return unknown;
    }
    static Field entryField(std::string_view name) {
        if (name == "path") return path;
        if (name == "size") return size;
        if (name == "files") return files;
        if (name == "isDirectory") return isDirectory;
        return unknown;
    }

    template <class Target>
    static bool readInteger(const Value& value, Target& out) {
        if (value.kind == Value::Kind::whole) {
            if (value.whole > static_cast<Unsigned>(std::numeric_limits<Target>::max())) return false;
            out = static_cast<Target>(value.whole);
            return true;
        }
        if (value.kind != Value::Kind::integer || value.integer < std::numeric_limits<Target>::min() ||
            value.integer > std::numeric_limits<Target>::max())
            return false;
        out = static_cast<Target>(value.integer);
        return true;
    }
    static bool readText(const Value& value, std::string& out) {
        if (value.kind != Value::Kind::text) return false;
        out = std::move(*value.text);
        return true;
    }

    bool readTop(Field field, const Value& value) {
        switch (field) {
        case id: {
            std::optional<Uuid> parsed;
            if (value.kind == Value::Kind::text) parsed = Uuid::parse(*value.text);
            if (parsed) m_snapshot.id = *parsed;
            return parsed.has_value();
        }
        case createdAt: {
            double seconds = 0;
            if (value.kind == Value::Kind::integer) seconds = static_cast<double>(value.integer);
            else if (value.kind == Value::Kind::whole) seconds = static_cast<double>(value.whole);
            else if (value.kind == Value::Kind::fraction) seconds = value.fraction;
            else return false;
            if (!std::isfinite(seconds)) return false;
            m_snapshot.createdAt = seconds + secondsFrom1970To2001;
            return true;
        }
        case rootPath: return readText(value, m_snapshot.rootPath);
        case title: return readText(value, m_snapshot.title);
        case totalSize: return readInteger(value, m_snapshot.totalSize);
        case totalFiles: return readInteger(value, m_snapshot.totalFiles);
        default: return false;
        }
    }

    bool readEntryField(Field field, const Value& value) {
        switch (field) {
        case path: return readText(value, m_entry.path);
        case size: return readInteger(value, m_entry.size);
        case files: return readInteger(value, m_entry.files);
        case isDirectory:
            if (value.kind != Value::Kind::boolean) return false;
            m_entry.isDirectory = value.flag;
            return true;
        default: return false;
        }
    }

    // A value that is no container, or (judged as it opens) a container where the format wants none.
    void settle(Field field, bool valid) {
        if (field == unknown) return;
        const State state = valid ? State::valid : State::invalid;
        if (field == entries) setEntries(state);
        else if (field < topFields) m_top[field] = state;
        else m_entryFields[field - path] = state;
    }

    void setEntries(State state) {
        m_entries = state;
        // A list that no longer counts holds no memory.
        if (state != State::valid) std::vector<Snapshot::Entry>().swap(m_snapshot.entries);
    }

    bool value(const Value& value) {
        if (m_frames.empty()) return false; // a text whose top is no object holds no snapshot
        switch (m_frames.back()) {
        case Frame::top: settle(m_field, readTop(m_field, value)); break;
        case Frame::entry: settle(m_field, readEntryField(m_field, value)); break;
        case Frame::entries: setEntries(State::invalid); break; // an entry that is no object
        case Frame::other: break;
        }
        m_field = unknown;
        return true;
    }

    // An object (`kind` entry) or an array (`kind` entries) opens.
    bool open(Frame kind) {
        if (m_frames.empty()) {
            if (kind != Frame::entry) return false;
            m_frames.push_back(Frame::top);
            return true;
        }
        Frame frame = Frame::other;
        switch (m_frames.back()) {
        case Frame::top:
            if (m_field == entries && kind == Frame::entries) {
                m_snapshot.entries.clear();
                m_entries = State::valid;
                frame = Frame::entries;
            } else {
                settle(m_field, false);
            }
            break;
        case Frame::entries:
            if (kind == Frame::entry) {
                m_entry = {};
                m_entryFields = {};
                frame = Frame::entry;
            } else {
                setEntries(State::invalid);
            }
            break;
        case Frame::entry: settle(m_field, false); break;
        case Frame::other: break;
        }
        m_field = unknown;
        m_frames.push_back(frame);
        return true;
    }

    bool close() {
        const Frame closed = m_frames.back();
        m_frames.pop_back();
        if (closed == Frame::entry && m_entries == State::valid) {
            bool whole = true;
            for (const State state : m_entryFields) whole = whole && state == State::valid;
            if (whole) m_snapshot.entries.push_back(std::move(m_entry));
            else setEntries(State::invalid);
        }
        return true;
    }

    Snapshot m_snapshot;
    std::array<State, topFields> m_top{};
    State m_entries = State::missing;
    Snapshot::Entry m_entry;
    std::array<State, 4> m_entryFields{};
    Field m_field = unknown;
    std::vector<Frame> m_frames;
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
    GeneralReader reader;
    if (!Json::sax_parse(bytes.begin(), bytes.end(), &reader)) return std::nullopt;
    return reader.result();
}

} // namespace tallymere::SnapshotCodec
