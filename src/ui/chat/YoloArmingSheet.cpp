#include "ui/chat/YoloArmingSheet.h"
#include "ui/chat/SheetOverlay.h"

#include "actions/ActionGate.h"
#include "ui/chat/TintedSymbol.h"
#include "ui/theme/ThemeManager.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* wrappedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    return label;
}

// The three confirmation dots: filled with danger up to the count, border colour after.
class Dots : public QWidget {
public:
    Dots(const YoloArmingState& state, const ThemeBinding& theme, QWidget* parent)
        : QWidget(parent), m_state(state), m_theme(theme)
    {
        setFixedSize(3 * 10 + 2 * 6, 10);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < YoloArmingState::required; ++i) {
            p.setBrush(m_state.dotFilled(i) ? m_theme.theme().danger : m_theme.theme().border);
            p.drawEllipse(QRectF(i * 16, 0, 10, 10));
        }
    }

private:
    const YoloArmingState& m_state;
    const ThemeBinding& m_theme;
};

// The rounded surface box outlined in danger at 40 %.
class ConfirmCard : public QWidget {
public:
    ConfirmCard(const ThemeBinding& theme, QWidget* parent) : QWidget(parent), m_theme(theme) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(withOpacity(m_theme.theme().danger, 0.4), 1));
        p.setBrush(m_theme.theme().surface);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }

private:
    const ThemeBinding& m_theme;
};

QFont monospaced(QFont f)
{
    f.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    return f;
}

}  // namespace

YoloArmingSheet::YoloArmingSheet(ActionGate& gate, ThemeManager& themes, QWidget* parent)
    : QFrame(parent), m_gate(gate), m_theme(this, themes)
{
    setObjectName(QStringLiteral("YoloArmingSheet"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 16);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    m_icon = new TintedSymbol(YoloArmingState::symbol, 20, this);
    auto* title = new QLabel(YoloArmingState::title, this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    title->setFont(bold);
    header->addWidget(m_icon);
    header->addWidget(title, 1);
    column->addLayout(header);
    m_colors.add(title, QPalette::WindowText, [](const PaletteTheme& t) { return t.textBright; });

    auto* safer = wrappedLabel(YoloArmingState::saferFirst, this);
    m_colors.add(safer, QPalette::WindowText, [](const PaletteTheme& t) { return t.success; });
    column->addWidget(safer);

    m_banner = wrappedLabel(QString(), this);
    m_banner->setObjectName(QStringLiteral("eligibilityBanner"));
    m_banner->setContentsMargins(10, 8, 10, 8);
    m_banner->setMinimumWidth(1);
    m_colors.add(m_banner, QPalette::WindowText, [](const PaletteTheme& t) { return t.warning; });
    column->addWidget(m_banner);

    auto* caption = new QLabel(YoloArmingState::passwordCaption, this);
    QFont captionFont = monospaced(caption->font());
    captionFont.setBold(true);
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    caption->setFont(captionFont);
    m_colors.add(caption, QPalette::WindowText, [](const PaletteTheme& t) { return t.textDim; });
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(YoloArmingState::passwordPlaceholder);
    connect(m_password, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.password = text; });
    m_colors.add(m_password, QPalette::Base, [](const PaletteTheme& t) { return t.surface; });
    m_colors.add(m_password, QPalette::Text, [](const PaletteTheme& t) { return t.text; });
    m_colors.add(m_password, QPalette::PlaceholderText, [](const PaletteTheme& t) { return t.textDim; });
    auto* passwordBlock = new QVBoxLayout;
    passwordBlock->setSpacing(4);
    passwordBlock->addWidget(caption);
    passwordBlock->addWidget(m_password);
    column->addLayout(passwordBlock);

    m_card = new ConfirmCard(m_theme, this);
    auto* card = new QVBoxLayout(m_card);
    card->setContentsMargins(12, 10, 12, 10);
    card->setSpacing(8);
    auto* countRow = new QHBoxLayout;
    countRow->setSpacing(10);
    m_dots = new Dots(m_state, m_theme, m_card);
    m_counter = new QLabel(m_card);
    m_counter->setFont(monospaced(m_counter->font()));
    m_colors.add(m_counter, QPalette::WindowText, [](const PaletteTheme& t) { return t.textDim; });
    countRow->addWidget(m_dots);
    countRow->addWidget(m_counter, 1);
    card->addLayout(countRow);
    m_concern = wrappedLabel(QString(), m_card);
    m_colors.add(m_concern, QPalette::WindowText, [](const PaletteTheme& t) { return t.text; });
    card->addWidget(m_concern);
    column->addWidget(m_card);

    m_error = wrappedLabel(QString(), this);
    m_colors.add(m_error, QPalette::WindowText, [](const PaletteTheme& t) { return t.danger; });
    column->addWidget(m_error);

    auto* buttons = new QHBoxLayout;
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_confirm = new QPushButton(this);
    for (QPushButton* b : {m_cancel, m_confirm}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumSize(96, 30);
        m_colors.add(b, QPalette::Button, [](const PaletteTheme& t) { return t.surfaceElevated; });
    }
    m_colors.add(m_cancel, QPalette::ButtonText, [](const PaletteTheme& t) { return t.text; });
    m_colors.add(m_confirm, QPalette::ButtonText, [](const PaletteTheme& t) { return t.danger; });
    connect(m_cancel, &QPushButton::clicked, this, &YoloArmingSheet::dismissRequested);
    connect(m_confirm, &QPushButton::clicked, this, &YoloArmingSheet::confirm);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_confirm);
    column->addSpacing(4);
    column->addLayout(buttons);

    connect(&themes, &ThemeManager::currentChanged, this, &YoloArmingSheet::applyTheme);
    refresh();
    applyTheme();
}

int YoloArmingSheet::filledDots() const
{
    int filled = 0;
    for (int i = 0; i < YoloArmingState::required; ++i) filled += m_state.dotFilled(i) ? 1 : 0;
    return filled;
}

void YoloArmingSheet::confirm()
{
    if (m_state.press(m_gate)) {
        Q_EMIT dismissRequested();
        return;
    }
    refresh();
}

void YoloArmingSheet::refresh()
{
    // The eligibility flag is read at every redraw of the texts, not observed in between.
    const std::optional<QString> banner = YoloArmingState::eligibilityBanner(m_gate);
    m_banner->setText(banner.value_or(QString()));
    m_banner->setVisible(banner.has_value());
    m_counter->setText(m_state.counterText());
    m_concern->setText(m_state.stepConcern());
    m_error->setText(m_state.errorText().value_or(QString()));
    m_error->setVisible(m_state.errorText().has_value());
    m_confirm->setText(m_state.confirmLabel());
    m_dots->update();
}

void YoloArmingSheet::applyTheme()
{
    const PaletteTheme& theme = m_theme.theme();
    m_icon->setColor(theme.danger);
    m_colors.apply(theme);
    const QColor fill = withOpacity(theme.warning, 0.12);
    m_banner->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1, %2, %3, %4); border-radius: 6px; }")
                                .arg(fill.red())
                                .arg(fill.green())
                                .arg(fill.blue())
                                .arg(fill.alphaF()));
    m_password->setFont(theme.monoFont.font());
    update();
}

void YoloArmingSheet::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        Q_EMIT dismissRequested();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter: event->accept(); return;  // neither counts nor arms
    default: QFrame::keyPressEvent(event);
    }
}

void YoloArmingSheet::paintEvent(QPaintEvent*) { paintSheetCard(this, m_theme.theme().background, m_theme.theme().border); }

void YoloArmingSheet::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    m_password->setFocus(Qt::OtherFocusReason);
}
