#include "style/Typography.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QHash>

#include <cmath>

namespace tallymere::Typography {

namespace {

constexpr auto interFamily = "Inter";
constexpr auto symbolFamily = "Material Icons";

// Written once by bootstrap() on the GUI thread before any view exists; only read afterwards.
bool available = false;

bool hasFace(const QString& family, const QString& style) {
    return QFontDatabase::families().contains(family) && QFontDatabase::styles(family).contains(style);
}

// The regular face stands for the family: if it is there, the rest are assumed to be.
bool interRegularExists() { return hasFace(QString::fromLatin1(interFamily), QStringLiteral("Regular")); }

bool symbolFontExists() { return QFontDatabase::families().contains(QString::fromLatin1(symbolFamily)); }

// Registers the files of `folder` whose names start with `prefix`; the outcome is not examined,
// the caller probes again.
void registerBundledFaces(const QString& folder, const QString& prefix) {
    const QDir dir(folder);
    if (!dir.exists()) return;
    const QStringList files = dir.entryList({prefix + QStringLiteral("*.ttf"), prefix + QStringLiteral("*.otf")},
                                            QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& file : files) QFontDatabase::addApplicationFont(dir.filePath(file));
}

// The weight that selects a face by name within the family.
QFont::Weight faceWeight(QFont::Weight weight) {
    const QString name = face(weight);
    if (name == QLatin1String("Inter-Thin")) return QFont::Thin;
    if (name == QLatin1String("Inter-Light")) return QFont::Light;
    if (name == QLatin1String("Inter-Medium")) return QFont::Medium;
    if (name == QLatin1String("Inter-SemiBold")) return QFont::DemiBold;
    if (name == QLatin1String("Inter-Bold")) return QFont::Bold;
    if (name == QLatin1String("Inter-ExtraBold")) return QFont::ExtraBold;
    if (name == QLatin1String("Inter-Black")) return QFont::Black;
    return QFont::Normal;
}

int pixels(double size) { return std::max(1, int(std::lround(size))); }

} // namespace

bool isAvailable() { return available; }

QString fontsFolder() {
    // Beside the program in the build folder; under share/tallymere in an installed tree.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Fonts");
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tallymere/Fonts");
    return QDir(beside).exists() || !QDir(installed).exists() ? beside : QDir::cleanPath(installed);
}

void bootstrap() { bootstrap(fontsFolder()); }

bool bootstrap(const QString& fontsFolder) {
    if (!interRegularExists()) registerBundledFaces(fontsFolder, QStringLiteral("Inter-"));
    available = interRegularExists();
    if (!symbolFontExists()) registerBundledFaces(fontsFolder, QStringLiteral("MaterialIcons"));
    return available;
}

QString face(QFont::Weight weight) {
    switch (weight) {
    case QFont::ExtraLight:
    case QFont::Thin: return QStringLiteral("Inter-Thin");
    case QFont::Light: return QStringLiteral("Inter-Light");
    case QFont::Medium: return QStringLiteral("Inter-Medium");
    case QFont::DemiBold: return QStringLiteral("Inter-SemiBold");
    case QFont::Bold: return QStringLiteral("Inter-Bold");
    case QFont::ExtraBold: return QStringLiteral("Inter-ExtraBold");
    case QFont::Black: return QStringLiteral("Inter-Black");
    default: return QStringLiteral("Inter-Regular");
    }
}

double scaledSize(double nominal) { return nominal * 0.96; }

QFont font(double size, QFont::Weight weight) { return font(size, weight, available); }

QFont font(double size, QFont::Weight weight, bool interAvailable) {
    if (interAvailable) {
        // Every paint asks for its fonts again: each is made once a thread, and the copies share
        // it, which also makes the toolkit's own lookups by font quick.
        thread_local QHash<std::pair<int, int>, QFont> made;
        const std::pair key(pixels(scaledSize(size)), int(weight));
        if (auto found = made.constFind(key); found != made.constEnd()) return *found;
        QFont inter(QString::fromLatin1(interFamily));
        inter.setWeight(faceWeight(weight));
        inter.setPixelSize(key.first);
        // Never substitute silently for a face that exists under this family.
        inter.setStyleStrategy(QFont::PreferMatch);
        return *made.insert(key, inter);
    }
    QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    system.setWeight(weight);
    system.setPixelSize(pixels(size));
    return system;
}

} // namespace tallymere::Typography
