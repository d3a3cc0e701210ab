#pragma once

#include <QImage>
#include <QLabel>
#include <QTextDocument>
#include <QWidget>

// A file name that is also markup: drawn as rich text it shows a large red "RED.md".
namespace hostile_name {

inline const QString name = QStringLiteral("<font color=red size=7>RED.md");

// Pixels of pure red in what the widget draws: the markup's colour, which no palette uses.
inline int pureRedPixels(QWidget* w)
{
    const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) n += qRed(line[x]) >= 250 && qGreen(line[x]) <= 5 && qBlue(line[x]) <= 5;
    }
    return n;
}

// What a label guessing the text's kind draws: the proof that pureRedPixels sees the fault.
inline int pureRedPixelsOfRichText()
{
    QLabel label(name);
    label.resize(label.sizeHint());
    return pureRedPixels(&label);
}

// The text a tool tip shows: its markup read as a tool tip reads it.
inline QString toolTipShows(const QString& toolTip)
{
    if (!Qt::mightBeRichText(toolTip)) return toolTip;
    QTextDocument doc;
    doc.setHtml(toolTip);
    return doc.toPlainText();
}

}  // namespace hostile_name
