#include "ui/chat/GateWarningSheet.h"
#include "ui/chat/SheetOverlay.h"

#include "ui/chat/TintedSymbol.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A rounded surface box outlined in its colour at 40 %.
class Card : public QWidget {
public:
    Card(std::function<QColor(const PaletteTheme&)> color, const ThemeBinding& theme, QWidget* parent)
        : QWidget(parent), m_color(std::move(color)), m_theme(theme) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(withOpacity(m_color(m_theme.theme()), 0.4), 1));
        p.setBrush(m_theme.theme().surface);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }

private:
    std::function<QColor(const PaletteTheme&)> m_color;
    const ThemeBinding& m_theme;
};

class Dot : public QWidget {
public:
    Dot(std::function<QColor(const PaletteTheme&)> color, const ThemeBinding& theme, QWidget* parent)
        : QWidget(parent), m_color(std::move(color)), m_theme(theme)
    {
        setFixedSize(6, 6);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_color(m_theme.theme()));
        p.drawEllipse(QRectF(rect()));
    }

private:
    std::function<QColor(const PaletteTheme&)> m_color;
    const ThemeBinding& m_theme;
};

QLabel* wrappedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

GateWarningSheet::GateWarningSheet(TavrilonAction action, GateDecision decision, std::function<void()> onProceed,
                                   std::function<void()> onCancel, std::function<void()> onArmYolo,
                                   ThemeManager& themes, QWidget* parent)
    : QFrame(parent), m_action(std::move(action)), m_decision(std::move(decision)),
      m_onProceed(std::move(onProceed)), m_onCancel(std::move(onCancel)), m_onArmYolo(std::move(onArmYolo)),
      m_theme(this, themes), m_content(GateWarningContent::make(m_action, m_decision, m_theme.theme()))
{
    setObjectName(QStringLiteral("GateWarningSheet"));
    setFocusPolicy(Qt::StrongFocus);
    const bool allowYolo = m_decision.kind() == GateDecision::Kind::allowYolo;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 16);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    m_icon = new TintedSymbol(m_content.icon, 20, this);
    m_title = wrappedLabel(m_content.title, this);
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_title->setFont(bold);
    header->addWidget(m_icon, 0, Qt::AlignTop);
    header->addWidget(m_title, 1);
    column->addLayout(header);
    m_colors.add(m_title, QPalette::WindowText, [](const PaletteTheme& t) { return t.textBright; });

    auto* detail = wrappedLabel(m_content.detail, this);
    detail->setObjectName(QStringLiteral("detail"));
    m_colors.add(detail, QPalette::WindowText, [](const PaletteTheme& t) { return t.text; });
    column->addWidget(detail);

    if (m_content.safer) column->addWidget(makeCard(*m_content.safer, true));
    if (m_content.concerns) column->addWidget(makeCard(*m_content.concerns, false));
    if (m_content.note) {
        auto* note = wrappedLabel(*m_content.note, this);
        note->setObjectName(QStringLiteral("note"));
        m_colors.add(note, QPalette::WindowText, [](const PaletteTheme& t) { return t.textDim; });
        column->addWidget(note);
    }

    auto* buttons = new QHBoxLayout;
    m_cancel = new QPushButton(m_content.cancelLabel, this);
    m_trailing = new QPushButton(m_content.trailingLabel, this);
    for (QPushButton* b : {m_cancel, m_trailing}) {
        // Nothing here is the Return default: a stray Return must never lead anywhere.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumSize(96, 30);
        m_colors.add(b, QPalette::Button, [](const PaletteTheme& t) { return t.surfaceElevated; });
    }
    m_colors.add(m_cancel, QPalette::ButtonText, [](const PaletteTheme& t) { return t.text; });
    m_colors.add(m_trailing, QPalette::ButtonText, [](const PaletteTheme& t) { return t.danger; });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_onCancel) m_onCancel();
    });
    connect(m_trailing, &QPushButton::clicked, this, [this, allowYolo] {
        const std::function<void()>& callback = allowYolo ? m_onProceed : m_onArmYolo;
        if (callback) callback();
    });
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_trailing);
    column->addSpacing(4);
    column->addLayout(buttons);

    connect(&themes, &ThemeManager::currentChanged, this, &GateWarningSheet::applyTheme);
    applyTheme();
}

QWidget* GateWarningSheet::makeCard(const GateWarningContent::Card& card, bool safer)
{
    auto color = safer ? std::function<QColor(const PaletteTheme&)>([](const PaletteTheme& t) { return t.success; })
                       : std::function<QColor(const PaletteTheme&)>([](const PaletteTheme& t) { return t.danger; });
    auto* box = new Card(color, m_theme, this);
    box->setObjectName(safer ? QStringLiteral("saferCard") : QStringLiteral("concernsCard"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);
    auto* title = wrappedLabel(card.title, box);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 0.85);
    title->setFont(f);
    m_colors.add(title, QPalette::WindowText, color);
    layout->addWidget(title);
    for (const QString& item : card.items) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        auto* dotBox = new QVBoxLayout;
        dotBox->setContentsMargins(0, 6, 0, 0);
        dotBox->addWidget(new Dot(color, m_theme, box));
        dotBox->addStretch(1);
        row->addLayout(dotBox);
        auto* text = wrappedLabel(item, box);
        m_colors.add(text, QPalette::WindowText, [](const PaletteTheme& t) { return t.text; });
        row->addWidget(text, 1);
        layout->addLayout(row);
    }
    m_cards.append(box);
    return box;
}

QStringList GateWarningSheet::shownTexts() const
{
    QStringList out;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->isVisibleTo(this)) out << label->text();
    }
    out << m_cancel->text() << m_trailing->text();
    return out;
}

void GateWarningSheet::applyTheme()
{
    const PaletteTheme& theme = m_theme.theme();
    m_icon->setColor(m_decision.kind() == GateDecision::Kind::blockedNeedsYolo ? theme.danger : theme.warning);
    m_colors.apply(theme);
    for (QLabel* label : findChildren<QLabel*>())
        if (label->objectName() == QLatin1String("detail")) label->setFont(theme.monoFont.font());
    update();
}

void GateWarningSheet::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        if (m_onCancel) m_onCancel();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter: event->accept(); return;  // no default action
    default: QFrame::keyPressEvent(event);
    }
}

void GateWarningSheet::paintEvent(QPaintEvent*) { paintSheetCard(this, m_theme.theme().background, m_theme.theme().border); }

void GateWarningSheet::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    m_cancel->setFocus(Qt::OtherFocusReason);
}
