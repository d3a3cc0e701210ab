#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "ui/theme/PaletteTheme.h"

class QAbstractButton;
class QButtonGroup;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

// The settings window's fixed colours and the blocks every page is built from.
namespace SettingsStyle {

inline const QColor sidebarBg{0x18, 0x18, 0x1c};
inline const QColor cardBg{0x1e, 0x1e, 0x22};
inline const QColor subtleBorder{0x2e, 0x2e, 0x32};
inline const QColor gold{0xd4, 0xa8, 0x43};
inline const QColor cyan{0x00, 0xd4, 0xff};
inline const QColor gray{0x8e, 0x8e, 0x93};
inline const QColor green{0x34, 0xc7, 0x59};
inline const QColor red{0xff, 0x3b, 0x30};
inline const QColor orange{0xff, 0x95, 0x00};
inline const QColor yellow{0xff, 0xcc, 0x00};
inline const QColor purple{0xaf, 0x52, 0xde};
inline const QColor systemCyan{0x32, 0xad, 0xe6};

QFont sysFont(qreal size, QFont::Weight weight = QFont::Normal);
QFont mono(qreal size, QFont::Weight weight = QFont::Normal);

// A label in a font and colour; `wrap` lets a long text grow downwards instead of being cut.
QLabel* makeText(const QString& text, const QFont& font, const QColor& color, bool wrap = false,
             QWidget* parent = nullptr);

// A named symbol as an icon of `side` points in one colour.
QIcon symbolIcon(const QString& name, int side, const QColor& color);

// Marks a push button of the pages to be drawn as the palette's button (a flat raised surface
// with a border, no platform bevel); the page's style sheet does the drawing.
QPushButton* themedButton(QPushButton* button);
// The pages' style sheet for the marked buttons, in the palette's colours.
QString themedButtonStyleSheet(const PaletteTheme& theme);
// Gives the marked buttons below `root` (and those made there later, dialogs included) the
// sheet of `theme`.
void publishThemedButtonSheet(QWidget* root, const PaletteTheme& theme);
inline constexpr const char* themedButtonSheetProperty = "themedButtonSheet";

}  // namespace SettingsStyle

// A page's header: its symbol in gold and its title.
class SectionHeader : public QWidget {
    Q_OBJECT
public:
    SectionHeader(const QString& title, const QString& icon, QWidget* parent = nullptr);
    QString title() const { return m_title; }

private:
    QString m_title;
};

// The rounded card that holds a page's rows.
class SettingsCard : public QFrame {
    Q_OBJECT
public:
    explicit SettingsCard(int spacing = 0, QWidget* parent = nullptr);
    QVBoxLayout* content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVBoxLayout* m_content;
};

// An 8-point round dot in one colour, as the status lines show.
class StatusDot : public QWidget {
    Q_OBJECT
public:
    explicit StatusDot(const QColor& color = SettingsStyle::gray, QWidget* parent = nullptr);
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color;
};

// The two-line label beside a switch, picker or stepper: the title over a grey caption.
QWidget* settingsToggleLabel(const QString& title, const QString& caption, QWidget* parent = nullptr);

// A caption over a monospaced text field; the field is handed back through `field`.
QWidget* labeledTextFieldRow(const QString& label, const QString& placeholder, QLineEdit** field,
                             QWidget* parent = nullptr);

// A row of a label and, at its right end, a control.
QWidget* controlRow(QWidget* label, QWidget* control, QWidget* parent = nullptr, int minGap = 0);

// A value and two buttons that move it by a step inside a range (never outside it).
class Stepper : public QWidget {
    Q_OBJECT
public:
    Stepper(qint64 minimum, qint64 maximum, qint64 step, QWidget* parent = nullptr);
    void show(qint64 value, const QString& label);
    qint64 value() const { return m_value; }
    qint64 minimum() const { return m_min; }
    qint64 maximum() const { return m_max; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }
    QLabel* label() const { return m_label; }
    void setValueColor(const QColor& color);

Q_SIGNALS:
    // The user asked for this value (already inside the range).
    void stepped(qint64 value);

private:
    void move(int direction);

    qint64 m_min, m_max, m_step, m_value = 0;
    QLabel* m_label;
    QToolButton* m_down;
    QToolButton* m_up;
};

// Two or more segments, one chosen.
class Segmented : public QWidget {
    Q_OBJECT
public:
    Segmented(const QStringList& labels, int width, QWidget* parent = nullptr);
    void setIndex(int index);  // -1: none
    int index() const;
    QAbstractButton* segment(int i) const;
    void setAccent(const QColor& accent);

Q_SIGNALS:
    void chosen(int index);

private:
    QButtonGroup* m_group;
    QColor m_accent;
};
