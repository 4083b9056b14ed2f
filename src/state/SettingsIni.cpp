#include "state/SettingsIni.h"

#include <QDataStream>
#include <QDateTime>
#include <QHash>
#include <QIODevice>
#include <QStringList>

namespace tallymere::SettingsIni {
namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

int hexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool isOctal(char ch) { return ch >= '0' && ch <= '7'; }

// What a backslash and each of these letters stand for in a value.
constexpr std::pair<char, char16_t> namedEscapes[] = {
    {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'},  {'t', '\t'},
    {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'},
};

// ---- Lines ---------------------------------------------------------------------------------------

struct Line {
    qsizetype start = 0, length = 0;
    qsizetype equals = -1; // the first "=" outside quotes, from the file's start
};

// The next line from `pos`: it ends at a line break outside quotes, and a backslash keeps the break
// after it in the line. A ";" opens a comment at a line's start and ends the line elsewhere
// outside quotes (what follows it is then a comment of its own). False at the end of the file.
bool nextLine(QByteArrayView data, qsizetype& pos, Line& line) {
    const qsizetype size = data.size();
    const auto isSpace = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; };
    qsizetype start = pos;
    while (start < size && isSpace(data[start])) ++start;
    line.equals = -1;
    bool quoted = false;
    qsizetype i = start;
    while (i < size) {
        const char ch = data[i++];
        if (ch == '=') {
            if (!quoted && line.equals < 0) line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!quoted) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size && ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n'))) ++i;
            }
        } else if (ch == '"') {
            quoted = !quoted;
        } else if (ch == ';') {
            if (i == start + 1) {
                while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
                while (i < size && isSpace(data[i])) ++i;
                start = i;
            } else if (!quoted) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line.start = start;
    line.length = i - start;
    return line.length > 0;
}

// ---- Keys ----------------------------------------------------------------------------------------

// A key as written: letters, digits, "_", "-" and "." as they are, "/" as "\", any other character
// as %XX, or %UXXXX above U+00FF.
QByteArray escapedKey(const QString& key) {
    QByteArray result;
    for (const QChar qch : key) {
        const char16_t ch = qch.unicode();
        if (ch == '/') {
            result += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' ||
                   ch == '-' || ch == '.') {
            result += char(ch);
        } else if (ch <= 0xFF) {
            result += '%';
            result += hexDigits[ch / 16];
            result += hexDigits[ch % 16];
        } else {
            result += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) result += hexDigits[(ch >> shift) & 0xF];
        }
    }
    return result;
}

// A "%" that starts no whole escape stands for itself.
QString unescapedKey(QByteArrayView key) {
    const QString text = QString::fromUtf8(key);
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar ch = text[i];
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch == u'%' && i + 1 < text.size()) {
            const bool wide = text[i + 1] == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const ushort code =
                first + digits <= text.size() ? QStringView(text).sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits;
                continue;
            }
        }
        result += ch;
        ++i;
    }
    return result;
}

// ---- Values --------------------------------------------------------------------------------------

// Escapes C-style what would break the line or the list, as UTF-8 the rest; a tagged byte array or
// serialized value (held one byte a character) escapes every byte above 0x7E instead. Quoted when
// it holds ";", "," or "=", or starts or ends with a space.
void appendEscaped(const QString& text, QByteArray& result) {
    const bool bytes = text.startsWith(QLatin1String("@ByteArray(")) || text.startsWith(QLatin1String("@Variant(")) ||
                       text.startsWith(QLatin1String("@DateTime("));
    const qsizetype start = result.size();
    bool needsQuotes = false;
    bool escapeNextIfHex = false; // a hex digit after a numeric escape would be read as part of it
    QString plain;                // characters written as they are, turned to UTF-8 together
    const auto flush = [&] {
        result += plain.toUtf8();
        plain.clear();
    };
    for (const QChar qch : text) {
        const char16_t ch = qch.unicode();
        if (ch == ';' || ch == ',' || ch == '=') needsQuotes = true;
        if (escapeNextIfHex && ch < 0x80 && hexValue(char(ch)) >= 0) {
            flush();
            result += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfHex = false;
        const char* named = nullptr;
        switch (ch) {
        case '\0': named = "\\0"; escapeNextIfHex = true; break;
        case '\a': named = "\\a"; break;
        case '\b': named = "\\b"; break;
        case '\f': named = "\\f"; break;
        case '\n': named = "\\n"; break;
        case '\r': named = "\\r"; break;
        case '\t': named = "\\t"; break;
        case '\v': named = "\\v"; break;
        case '"': named = "\\\""; break;
        case '\\': named = "\\\\"; break;
        default: break;
        }
        if (named) {
            flush();
            result += named;
        } else if (ch <= 0x1F || (ch >= 0x7F && bytes)) {
            flush();
            result += "\\x" + QByteArray::number(ch, 16);
            escapeNextIfHex = true;
        } else {
            plain += qch;
        }
    }
    flush();
    if (needsQuotes || (start < result.size() && (result.at(start) == ' ' || result.back() == ' '))) {
        result.insert(start, '"');
        result += '"';
    }
}

QString taggedText(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::UnknownType: return QStringLiteral("@Invalid()");
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("@ByteArray(") + QLatin1String(bytes) + u')';
    }
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Float:
    case QMetaType::Double: {
        QString text = value.toString();
        if (text.startsWith(u'@')) text.prepend(u'@');
        return text;
    }
    default: {
        // Any other kind goes serialized; a date and time in the later stream version that keeps its zone.
        const bool isDateTime = value.metaType().id() == QMetaType::QDateTime;
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream.setVersion(isDateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            stream << value;
        }
        return (isDateTime ? QStringLiteral("@DateTime(") : QStringLiteral("@Variant(")) + QLatin1String(bytes) + u')';
    }
    }
}

QVariant untagged(const QString& text) {
    if (!text.startsWith(u'@')) return text;
    if (text.endsWith(u')')) {
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return QStringView(text).sliced(11).chopped(1).toLatin1();
        if (text.startsWith(QLatin1String("@String("))) return QStringView(text).sliced(8).chopped(1).toString();
        if (text.startsWith(QLatin1String("@Variant(")) || text.startsWith(QLatin1String("@DateTime("))) {
            const bool isDateTime = text[1] == u'D';
            QByteArray bytes = QStringView(text).sliced(isDateTime ? 10 : 9).toLatin1();
            QDataStream stream(&bytes, QIODevice::ReadOnly);
            stream.setVersion(isDateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            QVariant value;
            stream >> value;
            return value;
        }
        if (text == QLatin1String("@Invalid()")) return {};
    }
    if (text.startsWith(QLatin1String("@@"))) return text.sliced(1);
    return text;
}

// Spaces and tabs at the end of `text` past `limit` (the end of its last escape) go.
void chopSpaces(QString& text, qsizetype limit) {
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t')) text.chop(1);
}

} // namespace

Entries parse(QByteArrayView file) {
    if (file.startsWith("\xEF\xBB\xBF")) file = file.sliced(3);
    Entries entries;
    QHash<QString, qsizetype> places;
    QString section; // "" in [General], else the section's name and "/"
    qsizetype pos = 0;
    Line line;
    while (nextLine(file, pos, line)) {
        const QByteArrayView text = file.sliced(line.start, line.length);
        if (text.startsWith('[')) {
            qsizetype close = text.indexOf(']');
            if (close < 0) close = text.size();
            const QByteArrayView name = text.first(close).sliced(1).trimmed();
            section.clear();
            if (name.compare("general", Qt::CaseInsensitive) == 0) continue;
            // "%General" is the section named "General", apart from the keys outside any section.
            section = name.compare("%general", Qt::CaseInsensitive) == 0 ? QString::fromLatin1(name.sliced(1))
                                                                            : unescapedKey(name);
            section += u'/';
            continue;
        }
        if (line.equals < 0) continue;
        const qsizetype equals = line.equals - line.start;
        const QString key = section + unescapedKey(text.first(equals).trimmed());
        const QByteArray value = text.sliced(equals + 1).toByteArray();
        if (const auto known = places.constFind(key); known != places.constEnd()) {
            entries[*known].second = value;
        } else {
            places.insert(key, entries.size());
            entries.emplace_back(key, value);
        }
    }
    return entries;
}

void set(Entries& entries, const QString& key, const QByteArray& text) {
    for (auto& [known, value] : entries) {
        if (known == key) {
            value = text;
            return;
        }
    }
    entries.emplace_back(key, text);
}

QByteArray write(const Entries& entries) {
    std::vector<QString> sections;
    QHash<QString, QByteArray> lines;
    for (const auto& [key, text] : entries) {
        const qsizetype slash = key.indexOf(u'/');
        const QString section = slash < 0 ? QString() : key.first(slash);
        const QString name = slash < 0 ? key : key.sliced(slash + 1);
        if (!lines.contains(section)) sections.push_back(section);
        lines[section] += escapedKey(name) + '=' + text + '\n';
    }
    QByteArray file;
    for (const QString& section : sections) {
        if (!file.isEmpty()) file += '\n';
        const QByteArray name = escapedKey(section);
        if (name.isEmpty()) file += "[General]\n";
        else if (name.compare("general", Qt::CaseInsensitive) == 0) file += "[%General]\n";
        else file += '[' + name + "]\n";
        file += lines.value(section);
    }
    return file;
}

QByteArray encode(const QVariant& value) {
    QByteArray text;
    const int type = value.metaType().id();
    // A one-item list of any kind but strings is tagged whole: as a plain list it would read back as its item.
    if (type == QMetaType::QStringList || (type == QMetaType::QVariantList && value.toList().size() != 1)) {
        const QVariantList items = value.toList();
        if (items.isEmpty()) return "@Invalid()";
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (i > 0) text += ", ";
            appendEscaped(taggedText(items[i]), text);
        }
        return text;
    }
    appendEscaped(taggedText(value), text);
    return text;
}

QVariant decode(QByteArrayView text) {
    QString item;
    QStringList items;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false; // the current item had quotes: its spaces at the end stay
    bool chopAtEnd = true; // a text ending inside an escape keeps its spaces
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    const qsizetype size = text.size();
    const auto skipSpaces = [&] {
        while (i < size && (text[i] == ' ' || text[i] == '\t')) ++i;
        chopLimit = item.size();
    };
    skipSpaces();
    while (i < size) {
        const char ch = text[i];
        if (ch == '\\') {
            if (++i >= size) {
                chopAtEnd = false;
                break;
            }
            const char escaped = text[i++];
            bool done = false;
            for (const auto& [letter, meaning] : namedEscapes) {
                if (escaped == letter) {
                    item += QChar(meaning);
                    done = true;
                    break;
                }
            }
            if (!done && escaped == 'x' && i >= size) {
                chopAtEnd = false;
                break;
            }
            if (!done && escaped == 'x' && hexValue(text[i]) >= 0) {
                char16_t code = 0;
                while (i < size && hexValue(text[i]) >= 0) code = char16_t((code << 4) + hexValue(text[i++]));
                item += QChar(code);
                chopAtEnd = i < size;
            } else if (!done && isOctal(escaped)) {
                char16_t code = char16_t(escaped - '0');
                while (i < size && isOctal(text[i])) code = char16_t((code << 3) + (text[i++] - '0'));
                item += QChar(code);
                chopAtEnd = i < size;
            } else if (!done && (escaped == '\n' || escaped == '\r')) {
                // An escaped line break, two characters where it is \r\n or \n\r, is left out.
                if (i < size && (text[i] == '\n' || text[i] == '\r') && text[i] != escaped) ++i;
            }
            // Any other escaped character is left out.
            chopLimit = item.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipSpaces();
        } else if (ch == ',' && !inQuotes) {
            if (!quoted) chopSpaces(item, chopLimit);
            isList = true;
            items.append(item);
            item.clear();
            quoted = false;
            ++i;
            skipSpaces();
        } else {
            qsizetype end = i + 1;
            while (end < size && text[end] != '\\' && text[end] != '"' && text[end] != ',') ++end;
            item += QString::fromUtf8(text.sliced(i, end - i));
            i = end;
        }
    }
    if (!quoted && chopAtEnd) chopSpaces(item, chopLimit);
    if (!isList) return untagged(item);

    items.append(item);
    // Items that are tagged make a list of values; "@@" is a plain "@" in a list of strings.
    for (const QString& each : items) {
        if (each.startsWith(u'@') && !each.startsWith(QLatin1String("@@"))) {
            QVariantList values;
            for (const QString& tagged : items) values.append(untagged(tagged));
            return values;
        }
    }
    for (QString& each : items)
        if (each.startsWith(u'@')) each.remove(0, 1);
    return items;
}

} // namespace tallymere::SettingsIni
