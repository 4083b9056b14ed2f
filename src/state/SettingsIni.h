#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <utility>
#include <vector>

// The settings file's text in the toolkit's INI format, read and written in memory: the same file
// the toolkit's own settings object reads and writes, without its ever touching the file itself.
namespace tallymere::SettingsIni {

// Each key ("name" in [General], "section/name" in any other section) with its value's text as it
// stands after "=", in file order. A key met twice keeps its last text, at its first place.
using Entries = std::vector<std::pair<QString, QByteArray>>;

// Lines that are neither a section, a key nor a comment are passed over, as the toolkit does.
Entries parse(QByteArrayView file);
// The file that holds `entries`: each section once, in the order its first key comes, keys in
// their order; "[General]" heads the keys outside any section.
QByteArray write(const Entries& entries);
// Replaces the text of `key`, or adds the key at the end.
void set(Entries& entries, const QString& key, const QByteArray& text);

// A value's text as the toolkit writes it: a string, number or Boolean as text; a string list
// comma-separated, each item quoted where it must be; a byte array, and any other kind, tagged.
QByteArray encode(const QVariant& value);
// The value the toolkit reads from such a text: strings, numbers and Booleans come back as text, a
// list of one item as that item, a list of none as no value; byte arrays and tagged kinds as
// themselves (a rectangle, size or point as its text).
QVariant decode(QByteArrayView text);

} // namespace tallymere::SettingsIni
