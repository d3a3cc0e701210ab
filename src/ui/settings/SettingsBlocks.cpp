#include "ui/settings/SettingsBlocks.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/theme/PaletteTheme.h"
#include "ui/theme/SymbolIcon.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace SettingsStyle {

QFont sysFont(qreal size, QFont::Weight weight) { return DashboardStyle::font(size, weight); }
QFont mono(qreal size, QFont::Weight weight) { return DashboardStyle::mono(size, weight); }

QLabel* makeText(const QString& content, const QFont& font, const QColor& color, bool wrap, QWidget* parent)
{
    auto* label = new QLabel(content, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    label->setWordWrap(wrap);
    if (wrap) label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}

QIcon symbolIcon(const QString& name, int side, const QColor& color)
{
    QIcon icon;
    for (qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(QSize(side, side) * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        SymbolIcon::paint(p, QRectF(0, 0, side, side), name, color);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace SettingsStyle

using namespace SettingsStyle;

SectionHeader::SectionHeader(const QString& title, const QString& icon, QWidget* parent)
    : QWidget(parent), m_title(title)
{
    setObjectName(QStringLiteral("sectionHeader"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(new SymbolView(icon, 14, gold, this));
    // The title stands on the palette's background, not on a card: it takes the palette's
    // emphasised text, which the settings view hands down as its bright-text role.
    auto* label = new QLabel(title, this);
    label->setObjectName(QStringLiteral("sectionTitle"));
    label->setTextFormat(Qt::PlainText);
    label->setFont(sysFont(16, QFont::Bold));
    label->setForegroundRole(QPalette::BrightText);
    row->addWidget(label);
    row->addStretch(1);
}

SettingsCard::SettingsCard(int spacing, QWidget* parent) : QFrame(parent)
{
    m_content = new QVBoxLayout(this);
    m_content->setContentsMargins(16, 16, 16, 16);
    m_content->setSpacing(spacing);
}

void SettingsCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    p.fillPath(path, cardBg);
    p.setPen(QPen(subtleBorder, 1));
    p.drawPath(path);
}

QWidget* settingsToggleLabel(const QString& title, const QString& caption, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(makeText(title, sysFont(13, QFont::Medium), Qt::white, false, box));
    column->addWidget(makeText(caption, sysFont(11), gray, true, box));
    return box;
}

QWidget* labeledTextFieldRow(const QString& label, const QString& placeholder, QLineEdit** field, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(makeText(label, sysFont(11), gray, false, box));
    auto* edit = new QLineEdit(box);
    edit->setPlaceholderText(placeholder);
    edit->setFont(mono(12));
    column->addWidget(edit);
    if (field) *field = edit;
    return box;
}

QWidget* controlRow(QWidget* label, QWidget* control, QWidget* parent, int minGap)
{
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(minGap);
    label->setParent(box);
    row->addWidget(label, 1);
    if (!minGap) row->addSpacing(8);
    control->setParent(box);
    row->addWidget(control, 0, Qt::AlignVCenter);
    return box;
}

Stepper::Stepper(qint64 minimum, qint64 maximum, qint64 step, QWidget* parent)
    : QWidget(parent), m_min(minimum), m_max(maximum), m_step(step)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_label = makeText(QString(), mono(12, QFont::Bold), Qt::white, false, this);
    m_down = new QToolButton(this);
    m_down->setText(QStringLiteral("\u2212"));
    m_down->setAccessibleName(QStringLiteral("Decrement"));
    m_up = new QToolButton(this);
    m_up->setText(QStringLiteral("+"));
    m_up->setAccessibleName(QStringLiteral("Increment"));
    for (QToolButton* b : {m_down, m_up}) {
        b->setFixedSize(20, 18);
        b->setAutoRaise(false);
    }
    row->addWidget(m_label);
    row->addWidget(m_down);
    row->addWidget(m_up);
    connect(m_down, &QToolButton::clicked, this, [this] { move(-1); });
    connect(m_up, &QToolButton::clicked, this, [this] { move(1); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Stepper::show(qint64 value, const QString& label)
{
    m_value = value;
    m_label->setText(label);
    m_down->setEnabled(value > m_min);
    m_up->setEnabled(value < m_max);
}

void Stepper::setValueColor(const QColor& color)
{
    if (m_label->palette().color(QPalette::WindowText) == color) return;
    QPalette pal = m_label->palette();
    pal.setColor(QPalette::WindowText, color);
    m_label->setPalette(pal);
}

void Stepper::move(int direction)
{
    // A stored value outside the range steps back into it, never further out.
    const qint64 next = std::clamp(m_value + direction * m_step, m_min, m_max);
    if (next == m_value) return;
    Q_EMIT stepped(next);
}

namespace {

// A style sheet on a page would reset the palette of every label below it (the titles that take
// the palette's roles would lose them), so each marked button carries the sheet itself: it takes
// the sheet of the nearest ancestor that publishes one when it is polished or shown, and the page
// hands a new sheet to its buttons when the palette changes.
class ThemedButtonSheet final : public QObject {
public:
    static ThemedButtonSheet& instance()
    {
        static ThemedButtonSheet filter;
        return filter;
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Polish || event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
            auto* button = static_cast<QPushButton*>(watched);
            for (QWidget* w = button->parentWidget(); w; w = w->parentWidget()) {
                const QVariant sheet = w->property(SettingsStyle::themedButtonSheetProperty);
                if (!sheet.isValid()) continue;
                if (button->styleSheet() != sheet.toString()) button->setStyleSheet(sheet.toString());
                break;
            }
        }
        return false;
    }
};

}  // namespace

QPushButton* SettingsStyle::themedButton(QPushButton* button)
{
    button->setProperty("themedButton", true);
    button->setCursor(Qt::PointingHandCursor);
    button->installEventFilter(&ThemedButtonSheet::instance());
    return button;
}

void SettingsStyle::publishThemedButtonSheet(QWidget* root, const PaletteTheme& theme)
{
    const QString sheet = themedButtonStyleSheet(theme);
    root->setProperty(themedButtonSheetProperty, sheet);
    for (QPushButton* button : root->findChildren<QPushButton*>()) {
        if (button->property("themedButton").toBool() && button->styleSheet() != sheet) button->setStyleSheet(sheet);
    }
}

QString SettingsStyle::themedButtonStyleSheet(const PaletteTheme& t)
{
    const auto rgba = [](const QColor& c) {
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
    };
    const QColor hover = QColor::fromRgbF(t.surfaceElevated.redF() * 0.8 + t.accent.redF() * 0.2,
                                          t.surfaceElevated.greenF() * 0.8 + t.accent.greenF() * 0.2,
                                          t.surfaceElevated.blueF() * 0.8 + t.accent.blueF() * 0.2);
    return QStringLiteral(
               "QPushButton[themedButton=\"true\"] { color: %1; background: %2; border: 1px solid %3;"
               " border-radius: 8px; padding: 5px 12px; font-weight: 600; }"
               "QPushButton[themedButton=\"true\"]:hover { color: %4; background: %5; border-color: %6; }"
               "QPushButton[themedButton=\"true\"]:pressed { background: %7; }"
               "QPushButton[themedButton=\"true\"]:default { border-color: %6; }"
               "QPushButton[themedButton=\"true\"]:focus { border: 1px dashed %4; }"
               "QPushButton[themedButton=\"true\"]:disabled { color: %8; border-color: %3; background: %2; }")
        .arg(rgba(t.text), rgba(t.surfaceElevated), rgba(t.border), rgba(t.textBright), rgba(hover), rgba(t.accent),
             rgba(withOpacity(t.accent, 0.35)), rgba(t.textDim));
}

Segmented::Segmented(const QStringList& labels, int width, QWidget* parent) : QWidget(parent)
{
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto* b = new QPushButton(labels[i], this);
        b->setCheckable(true);
        b->setFont(sysFont(11, QFont::Medium));
        b->setCursor(Qt::PointingHandCursor);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(b, i);
        row->addWidget(b);
    }
    setFixedWidth(width);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { Q_EMIT chosen(id); });
    setAccent(QColor(0x2e, 0x2e, 0x32));
}

void Segmented::setIndex(int index)
{
    if (index < 0) {
        // No segment: an exclusive group keeps one, so drop exclusivity for the moment.
        m_group->setExclusive(false);
        for (QAbstractButton* b : m_group->buttons()) b->setChecked(false);
        m_group->setExclusive(true);
        return;
    }
    if (QAbstractButton* b = m_group->button(index)) b->setChecked(true);
}

int Segmented::index() const { return m_group->checkedId(); }

QAbstractButton* Segmented::segment(int i) const { return m_group->button(i); }

void Segmented::setAccent(const QColor& accent)
{
    // A style sheet restyles every segment: only when the colour changed.
    if (accent == m_accent) return;
    m_accent = accent;
    setStyleSheet(QStringLiteral("QPushButton { color: white; background: #2a2a2e; border: 1px solid #3a3a3e;"
                                 " padding: 3px 6px; }"
                                 "QPushButton:checked { background: %1; border-color: %1; }")
                      .arg(accent.name()));
}

StatusDot::StatusDot(const QColor& color, QWidget* parent) : QWidget(parent), m_color(color) { setFixedSize(8, 8); }

void StatusDot::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void StatusDot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_color);
    p.drawEllipse(rect());
}
