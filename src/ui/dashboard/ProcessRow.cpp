#include "ui/dashboard/ProcessRow.h"

#include "ui/chat/SymbolButton.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/ProcessActions.h"
#include "ui/dashboard/ProcessListModel.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/PaletteTheme.h"

#include <QHBoxLayout>
#include <QPainter>

namespace {

// A fixed-width cell holding `content` at `alignment`.
// A column of fixed width; its text is cut rather than overflowing into the next column. (An
// ignored size policy would let the box layout stack these columns on one another.)
TextView* fixedColumn(TextView* text, int width, Qt::Alignment alignment)
{
    text->setElides(true);
    text->setFixedWidth(width);
    text->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    text->setAlignment(alignment | Qt::AlignVCenter);
    return text;
}

QWidget* cell(QWidget* parent, int width, QLayout* content, Qt::Alignment alignment)
{
    auto* box = new QWidget(parent);
    box->setFixedWidth(width);
    auto* l = new QHBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    if (alignment & (Qt::AlignRight | Qt::AlignHCenter)) l->addStretch(1);
    l->addLayout(content);
    if (alignment & (Qt::AlignLeft | Qt::AlignHCenter)) l->addStretch(1);
    return box;
}

}  // namespace

ProcessRow::ProcessRow(const ProcessInfoItem& process, ProcessActions& actions, QWidget* parent)
    : QWidget(parent), m_process(process), m_actions(actions)
{
    const ProcessListModel::Row row = ProcessListModel::row(process);
    m_highlighted = row.highlighted;
    const QColor gray = namedColor(NamedColor::gray);
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(16, 6, 16, 6);
    line->setSpacing(0);

    line->addWidget(fixedColumn(new TextView(row.pidText, DashboardStyle::mono(11), gray, this), 60, Qt::AlignLeft));

    auto* name = new QHBoxLayout;
    name->setSpacing(4);
    if (row.showsShield) {
        m_shield = new SymbolView(QStringLiteral("lock.shield.fill"), 9, namedColor(NamedColor::blue), this);
        name->addWidget(m_shield, 0, Qt::AlignVCenter);
    }
    auto* nameText = new TextView(row.name, DashboardStyle::font(11), namedColor(NamedColor::white), this);
    nameText->setElides(true);
    nameText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    name->addWidget(nameText, 1);
    line->addLayout(name, 1);

    m_cpu = fixedColumn(
        new TextView(row.cpuText, DashboardStyle::mono(11, QFont::Medium), namedColor(row.cpuColor), this), 80,
        Qt::AlignRight);
    line->addWidget(m_cpu);
    m_memory = fixedColumn(new TextView(row.memoryText, DashboardStyle::mono(11), gray, this), 80, Qt::AlignRight);
    line->addWidget(m_memory);

    auto* status = new QHBoxLayout;
    status->setSpacing(4);
    const QColor statusColor = namedColor(row.statusColor);
    status->addWidget(new SymbolView(QStringLiteral("circle.fill"), 6, statusColor, this), 0, Qt::AlignVCenter);
    m_status = new TextView(row.statusText, DashboardStyle::font(10), statusColor, this);
    status->addWidget(m_status, 0, Qt::AlignVCenter);
    line->addWidget(cell(this, 80, status, Qt::AlignHCenter));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    if (row.hasButtons) {
        m_throttle = new SymbolButton(QStringLiteral("tortoise.fill"), 10, this);
        m_throttle->setColor(namedColor(NamedColor::orange));
        m_throttle->setToolTip(ProcessListModel::throttleHelp);
        m_kill = new SymbolButton(QStringLiteral("xmark.circle.fill"), 10, this);
        m_kill->setColor(namedColor(NamedColor::red));
        m_kill->setToolTip(ProcessListModel::killHelp);
        connect(m_throttle, &QAbstractButton::clicked, this, &ProcessRow::throttle);
        connect(m_kill, &QAbstractButton::clicked, this, &ProcessRow::kill);
        buttons->addWidget(m_throttle, 0, Qt::AlignVCenter);
        buttons->addWidget(m_kill, 0, Qt::AlignVCenter);
    } else {
        m_lock = new SymbolView(QStringLiteral("lock.fill"), 10, withOpacity(gray, 0.4), this);
        buttons->addWidget(m_lock, 0, Qt::AlignVCenter);
    }
    line->addWidget(cell(this, 80, buttons, Qt::AlignHCenter));
}

void ProcessRow::throttle() { (void)m_actions.throttle(m_process); }

void ProcessRow::kill() { (void)m_actions.kill(m_process); }

void ProcessRow::paintEvent(QPaintEvent*)
{
    if (!m_highlighted) return;
    QPainter p(this);
    p.fillRect(rect(), withOpacity(namedColor(NamedColor::red), 0.05));
}
