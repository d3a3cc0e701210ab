#include "ui/settings/TavrilonWatcherSettingsPanel.h"

#include "ui/theme/PlainText.h"

#include "core/AppSettings.h"
#include "guards/TavrilonWatcher.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/theme/SymbolIcon.h"

#include <QCheckBox>
#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QColor secondaryColor(const QWidget* w)
{
    QColor c = w->palette().color(QPalette::WindowText);
    c.setAlphaF(0.62f);
    return c;
}

QPixmap symbol(const QString& name, const QColor& color, int side, qreal dpr)
{
    QPixmap pixmap(QSize(side, side) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(p, QRectF(0, 0, side, side), name, color);
    return pixmap;
}

// A symbol whose colour is a role of the panel's palette (or the secondary colour), painted
// again when the palette changes.
QLabel* symbolLabel(const QString& name, const QString& role, int side, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setProperty("symbolName", name);
    label->setProperty("symbolRole", role);
    label->setFixedSize(side, side);
    return label;
}

QColor roleColor(const QWidget* w, const QString& role)
{
    if (role == QLatin1String("accent")) return w->palette().color(QPalette::Highlight);
    if (role == QLatin1String("destructive")) return QColor(0xE5, 0x48, 0x4D);
    if (role == QLatin1String("button")) return w->palette().color(QPalette::ButtonText);
    return secondaryColor(w);
}

QLabel* secondaryLabel(const QString& text, qreal pointSize, QWidget* parent)
{
    auto* label = PlainText::literal(new QLabel(text, parent));
    QFont f = label->font();
    if (pointSize > 0) f.setPointSizeF(pointSize);
    label->setFont(f);
    label->setProperty("secondaryText", true);
    return label;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setProperty("dividerLine", true);
    return line;
}

// One line of text, shortened in the middle when it does not fit.
class MiddleElidedLabel : public QLabel {
public:
    MiddleElidedLabel(const QString& text, QWidget* parent) : QLabel(parent), m_full(text)
    {
        setToolTip(PlainText::toolTip(text));
        setMinimumWidth(40);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    QString fullText() const { return m_full; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(m_full, Qt::ElideMiddle, width()));
    }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(m_full), fontMetrics().height()}; }

private:
    QString m_full;
};

// The card's rounded fill: the secondary colour at 8 %.
class CardFrame : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(0.08f);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        p.fillPath(path, fill);
    }
};

}  // namespace

TavrilonWatcherSettingsPanel::TavrilonWatcherSettingsPanel(AppSettings& settings, TavrilonWatcher& watcher,
                                                           FolderChooser chooser, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_watcher(watcher),
      m_chooser(chooser ? std::move(chooser) : desktopFolderChooser())
{
    setObjectName(QStringLiteral("TavrilonWatcherSettingsPanel"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    column->setAlignment(Qt::AlignTop);

    auto* title = new QLabel(QStringLiteral("Tavrilon Watcher"), content);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);
    auto* intro = secondaryLabel(
        QStringLiteral("Assign a Tavrilon to a folder and it keeps it tidy for you \u2014 sorting files into categories and "
                       "trashing duplicates on a schedule. File types it does not know are named by the assistant's model (local "
                       "Ollama or your own key)."),
        0, content);
    intro->setWordWrap(true);
    column->addWidget(intro);

    m_enabled = new QCheckBox(QStringLiteral("Enable Tavrilon Watcher"), content);
    m_enabled->setChecked(m_settings.tavrilonWatcherEnabled());
    connect(m_enabled, &QCheckBox::toggled, this, [this](bool on) {
        if (m_settings.tavrilonWatcherEnabled() != on) m_settings.setTavrilonWatcherEnabled(on);
    });
    column->addWidget(m_enabled);
    column->addWidget(divider(content));

    auto* header = new QHBoxLayout;
    auto* heading = new QLabel(QStringLiteral("Watched folders"), content);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    heading->setFont(headingFont);
    header->addWidget(heading);
    header->addStretch(1);
    auto* assign = new QPushButton(QStringLiteral("Assign a Tavrilon\u2026"), content);
    SettingsStyle::themedButton(assign);
    assign->setObjectName(QStringLiteral("assignButton"));
    assign->setProperty("symbolName", QStringLiteral("plus.circle.fill"));
    assign->setProperty("symbolRole", QStringLiteral("button"));
    assign->setDefault(true);
    connect(assign, &QPushButton::clicked, this, &TavrilonWatcherSettingsPanel::assignFolder);
    header->addWidget(assign);
    column->addLayout(header);

    m_emptyHint = secondaryLabel(QStringLiteral("No folders assigned yet. Click \u201CAssign a Tavrilon\u2026\u201D and pick a "
                                                "folder \u2014 Downloads and Desktop are great starting points."),
                                 0, content);
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setWordWrap(true);
    column->addWidget(m_emptyHint);
    m_cards = new QVBoxLayout;
    m_cards->setSpacing(10);
    column->addLayout(m_cards);

    column->addWidget(divider(content));
    auto* footer = new QHBoxLayout;
    footer->setSpacing(8);
    footer->addWidget(symbolLabel(QStringLiteral("lock.shield"), QStringLiteral("secondary"), 14, content), 0, Qt::AlignTop);
    auto* footnote = secondaryLabel(QStringLiteral("Tavrilons never delete. Duplicates go to the Trash (recoverable); "
                                                   "tidying only moves files into sub-folders you can undo."),
                                    font().pointSizeF() * 0.9, content);
    footnote->setWordWrap(true);
    footer->addWidget(footnote, 1);
    column->addLayout(footer);
    scroll->setWidget(content);

    connect(&m_settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("tavrilonWatcherEnabled")) {
            const QSignalBlocker block(m_enabled);
            m_enabled->setChecked(m_settings.tavrilonWatcherEnabled());
        } else if (key == QLatin1String("tavrilonWatchedFoldersJSON")) {
            rebuildCards();
        }
    });
    connect(&m_watcher, &TavrilonWatcher::changed, this, &TavrilonWatcherSettingsPanel::rebuildCards);
    rebuildCards();
    applyPalette(this);
}

const QList<std::pair<QString, qint64>>& TavrilonWatcherSettingsPanel::intervalChoices()
{
    static const QList<std::pair<QString, qint64>> choices = {
        {QStringLiteral("hour"), 1}, {QStringLiteral("6 hours"), 6}, {QStringLiteral("day"), 24}, {QStringLiteral("week"), 168}};
    return choices;
}

QString TavrilonWatcherSettingsPanel::relativeText(const QDateTime& date, const QDateTime& now)
{
    const qint64 seconds = date.secsTo(now);
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    const bool past = seconds >= 0;
    if (magnitude < 1) return QStringLiteral("now");
    struct Unit {
        qint64 seconds;
        const char* singular;
        const char* plural;
        const char* lastOne;
        const char* nextOne;
    };
    static const Unit units[] = {
        {365 * 86400, "year", "years", "last year", "next year"},
        {30 * 86400, "month", "months", "last month", "next month"},
        {7 * 86400, "week", "weeks", "last week", "next week"},
        {86400, "day", "days", "yesterday", "tomorrow"},
        {3600, "hour", "hours", nullptr, nullptr},
        {60, "minute", "minutes", nullptr, nullptr},
        {1, "second", "seconds", nullptr, nullptr},
    };
    for (const Unit& unit : units) {
        const qint64 count = magnitude / unit.seconds;
        if (count < 1) continue;
        if (count == 1 && unit.lastOne) return QString::fromLatin1(past ? unit.lastOne : unit.nextOne);
        const QString amount =
            QString::number(count) + QLatin1Char(' ') + QString::fromLatin1(count == 1 ? unit.singular : unit.plural);
        return past ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
    }
    return QStringLiteral("now");
}

QString TavrilonWatcherSettingsPanel::statusText(const std::optional<QString>& outcome, const std::optional<QDateTime>& at,
                                                 const QDateTime& now)
{
    if (!outcome || !at) return QStringLiteral("Waiting for first sweep\u2026");
    return QStringLiteral("Last: ") + *outcome + QStringLiteral(" \u00B7 ") + relativeText(*at, now);
}

TavrilonWatcherSettingsPanel::FolderChooser TavrilonWatcherSettingsPanel::desktopFolderChooser()
{
    return [](QWidget* parent) -> std::optional<QUrl> {
        QFileDialog dialog(parent, QStringLiteral("Choose a folder for a Tavrilon to keep tidy"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Assign Tavrilon"));
        dialog.setDirectory(QDir::homePath());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty()) return std::nullopt;
        return dialog.selectedUrls().first();
    };
}

void TavrilonWatcherSettingsPanel::assignFolder()
{
    const std::optional<QUrl> folder = m_chooser(this);
    if (!folder || !folder->isLocalFile()) return;
    m_settings.addWatchTarget(*folder, 24);
    m_watcher.sweepDueTargets();
}

void TavrilonWatcherSettingsPanel::unassign(const QUuid& id)
{
    QList<TavrilonWatchTarget> targets = m_settings.tavrilonWatchedFolders();
    targets.removeIf([&](const TavrilonWatchTarget& t) { return t.id == id; });
    m_settings.setTavrilonWatchedFolders(targets);
}

void TavrilonWatcherSettingsPanel::setInterval(const QUuid& id, qint64 hours)
{
    QList<TavrilonWatchTarget> targets = m_settings.tavrilonWatchedFolders();
    for (TavrilonWatchTarget& t : targets) {
        if (t.id != id) continue;
        t.intervalHours = hours;
        m_settings.setTavrilonWatchedFolders(targets);
        return;
    }
}

void TavrilonWatcherSettingsPanel::rebuildCards()
{
    // Old cards go a turn later: the control that triggered the change may still be in use.
    while (QLayoutItem* item = m_cards->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    const QList<TavrilonWatchTarget> targets = m_settings.tavrilonWatchedFolders();
    m_emptyHint->setVisible(targets.isEmpty());
    for (const TavrilonWatchTarget& target : targets) m_cards->addWidget(makeCard(target));
}

QWidget* TavrilonWatcherSettingsPanel::makeCard(const TavrilonWatchTarget& target)
{
    auto* card = new CardFrame;
    card->setObjectName(QStringLiteral("watchCard:") + target.id.toString(QUuid::WithoutBraces));
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(12, 10, 12, 10);
    rows->setSpacing(8);

    auto* first = new QHBoxLayout;
    first->setSpacing(10);
    first->addWidget(symbolLabel(QStringLiteral("folder.fill.badge.gearshape"), QStringLiteral("accent"), 22, card));
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    const QString path = target.path.isLocalFile() ? target.path.toLocalFile() : target.path.toString();
    auto* name = PlainText::literal(new QLabel(QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName(), card));
    name->setObjectName(QStringLiteral("folderName"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    names->addWidget(name);
    auto* full = new MiddleElidedLabel(path, card);
    full->setObjectName(QStringLiteral("folderPath"));
    QFont small = full->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    full->setFont(small);
    full->setProperty("secondaryText", true);
    names->addWidget(full);
    first->addLayout(names, 1);
    auto* remove = new QToolButton(card);
    remove->setObjectName(QStringLiteral("unassignButton"));
    remove->setAutoRaise(true);
    remove->setProperty("symbolName", QStringLiteral("trash"));
    remove->setProperty("symbolRole", QStringLiteral("destructive"));
    remove->setToolTip(QStringLiteral("Unassign this Tavrilon"));
    remove->setAccessibleName(QStringLiteral("Unassign this Tavrilon"));
    const QUuid id = target.id;
    connect(remove, &QToolButton::clicked, this, [this, id] { unassign(id); });
    first->addWidget(remove, 0, Qt::AlignTop);
    rows->addLayout(first);

    auto* second = new QHBoxLayout;
    second->setSpacing(8);
    second->addWidget(secondaryLabel(QStringLiteral("Sweep every"), small.pointSizeF(), card));
    auto* picker = new QComboBox(card);
    picker->setObjectName(QStringLiteral("intervalPicker"));
    picker->setAccessibleName(QStringLiteral("Sweep every"));
    int selected = -1;
    for (const auto& [label, hours] : intervalChoices()) {
        if (hours == target.intervalHours) selected = picker->count();
        picker->addItem(label, QVariant::fromValue(hours));
    }
    picker->setCurrentIndex(selected);
    connect(picker, &QComboBox::activated, this, [this, id, picker](int index) {
        setInterval(id, picker->itemData(index).toLongLong());
    });
    second->addWidget(picker);
    auto* status = secondaryLabel(statusText(target.lastOutcome, target.lastMaintainedAt, QDateTime::currentDateTimeUtc()),
                                  small.pointSizeF(), card);
    status->setObjectName(QStringLiteral("statusLine"));
    second->addWidget(status, 1);
    rows->addLayout(second);
    applyPalette(card);
    return card;
}

void TavrilonWatcherSettingsPanel::applyPalette(QWidget* root)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    const qreal dpr = devicePixelRatioF();
    for (QWidget* w : widgets) {
        if (w->property("secondaryText").toBool() || w->property("dividerLine").toBool()) {
            QPalette pal = w->palette();
            QColor c = secondaryColor(this);
            if (w->property("dividerLine").toBool()) c.setAlphaF(0.18f);
            pal.setColor(QPalette::WindowText, c);
            w->setPalette(pal);
        }
        const QString name = w->property("symbolName").toString();
        if (name.isEmpty()) continue;
        const QColor color = roleColor(this, w->property("symbolRole").toString());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setPixmap(symbol(name, color, label->width(), dpr));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setIcon(QIcon(symbol(name, color, 16, dpr)));
        }
    }
}

void TavrilonWatcherSettingsPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The host's palette arrives after construction (a dark settings window, the dashboard).
    if (event->type() == QEvent::PaletteChange && !m_applyingPalette) {
        m_applyingPalette = true;
        applyPalette(this);
        m_applyingPalette = false;
    }
}
