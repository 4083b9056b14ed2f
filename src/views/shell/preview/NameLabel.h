#pragma once
#include <QLabel>

namespace tallymere {

// A word-wrapped label for a file's name. Where every word fits its width it is drawn exactly as
// the toolkit's label draws it; a word too long for the width is broken anywhere inside it, so a
// name without spaces never asks for more width than the window has.
class NameLabel : public QLabel {
public:
    explicit NameLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether the widest word fits in a label `width` wide.
    bool wordsFit(int width) const;
    // The height of the text broken anywhere to `width` logical pixels of text.
    double brokenHeight(double width) const;
};

} // namespace tallymere
