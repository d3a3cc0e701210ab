#pragma once

#include <QString>

class QLabel;

// Names that come from the file system (or from other programs) are shown as they are: a
// file called "<b>x</b>" reads "<b>x</b>", never a bold x.
namespace PlainText {

// A tool tip showing `text` literally, wrapped nowhere.
QString toolTip(const QString& text);
// Makes the label show its text literally.
QLabel* literal(QLabel* label);

}  // namespace PlainText
