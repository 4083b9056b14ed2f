#pragma once
#include <QFont>
#include <QString>

namespace tallymere::Typography {

// Whether the Inter faces can be used. False until bootstrap() finds them; read-only afterwards.
bool isAvailable();

// Makes the Inter faces and the symbol font available, once, on the GUI thread before any text
// exists. When the system already knows a family, nothing of it is registered; otherwise the
// faces in the program's "Fonts" folder (fontsFolder()) are registered for this process only.
// Nothing is reported: a missing folder or unusable files leave isAvailable() false.
void bootstrap();
// The program's "Fonts" folder: beside the executable, or share/tallymere/Fonts of the tree the
// executable is installed in.
QString fontsFolder();
// The same with an explicit folder; returns isAvailable().
bool bootstrap(const QString& fontsFolder);

// The face name of a weight: Thin for ultra-light and thin, then Light, Medium, SemiBold, Bold,
// ExtraBold (heavy), Black; Regular for regular and for any weight between the named ones.
QString face(QFont::Weight weight);

// The size Inter is set at for a nominal size: 96 % of it.
double scaledSize(double nominal);

// The font of every text: Inter of the weight's face at 96 % of the nominal size when the faces
// are available, else the system font at the nominal size and weight. Sizes are logical pixels
// (a whole number: the scaled size is rounded to the nearest pixel), so text never follows a
// desktop text-size setting.
QFont font(double size, QFont::Weight weight = QFont::Normal);
// The rule with the availability given rather than read.
QFont font(double size, QFont::Weight weight, bool interAvailable);

} // namespace tallymere::Typography
