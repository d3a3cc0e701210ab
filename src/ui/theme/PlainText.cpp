#include "ui/theme/PlainText.h"

#include <QLabel>

namespace PlainText {

QString toolTip(const QString& text)
{
    if (text.isEmpty()) return {};
    // Tool tips guess whether their text is markup; an escaped text inside a paragraph is read
    // as markup that shows the characters themselves.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QLabel* literal(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace PlainText
