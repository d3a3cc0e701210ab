#pragma once

#include <QColor>
#include <QFont>
#include <QPushButton>
#include <QString>

// What the alert and blackout views share: their fonts, the shortcut's label and the flat,
// rounded buttons of the blackout.
namespace SnoozeViewStyle {

enum class Design { standard, rounded, monospaced };

// The system font at `size` logical pixels. Linux has no rounded system face: the rounded
// design uses the standard one.
QFont font(qreal size, QFont::Weight weight, Design design = Design::standard);

// The dismissal shortcut as the texts name it.
inline const QString shortcutLabel = QStringLiteral("Super Shift 9");

QColor white(qreal opacity);

}  // namespace SnoozeViewStyle

// A plain button drawn as a label on a rounded fill, as the blackout's buttons look.
class SnoozePillButton final : public QPushButton {
    Q_OBJECT
public:
    SnoozePillButton(const QString& text, QColor fill, QColor ink, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    QColor m_ink;
};
