#include "ui/dashboard/maintenance/MaintenanceView.h"

#include "actions/MaintenanceTools.h"
#include "core/CFormat.h"
#include "core/Clock.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/dashboard/maintenance/MaintenanceActionRow.h"
#include "ui/dashboard/maintenance/MaintenanceModel.h"
#include "ui/theme/NeonGlowEffect.h"
#include "ui/theme/ScanLineOverlay.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeBinding.h"
#include "ui/theme/ThemeManager.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace MaintenanceModel;

namespace {

// The card every section of the page sits in: the palette's surface in a rounded rectangle
// stroked 1 pt in its border.
class ActionCard : public QWidget {
public:
    ActionCard(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
    {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
    }
    QVBoxLayout* column() const { return static_cast<QVBoxLayout*>(layout()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const PaletteTheme& theme = m_theme.theme();
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        p.fillPath(shape, theme.surface);
        p.setPen(QPen(theme.border, 1));
        p.drawPath(shape);
    }

private:
    ThemeBinding m_theme;
};

// A standard divider on the border colour, across the card.
class CardDivider : public QWidget {
public:
    CardDivider(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
    {
        setObjectName(QStringLiteral("cardDivider"));
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_theme.theme().border); }

private:
    ThemeBinding m_theme;
};

// A plain button showing one symbol, or a short text, in one colour.
class PlainButton : public QAbstractButton {
public:
    PlainButton(const QString& symbol, qreal side, int padding, QWidget* parent)
        : QAbstractButton(parent), m_symbol(symbol), m_side(side), m_padding(padding)
    {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    static PlainButton* makeText(const QString& label, const QFont& font, QWidget* parent)
    {
        auto* b = new PlainButton(QString(), 0, 2, parent);
        b->setText(label);
        b->setFont(font);
        return b;
    }
    void setColor(const QColor& color)
    {
        m_color = color;
        update();
    }
    QSize sizeHint() const override
    {
        if (m_symbol.isEmpty()) {
            const QFontMetrics fm(font());
            return {fm.horizontalAdvance(text()) + 2 * m_padding, fm.height() + 2 * m_padding};
        }
        const int side = int(std::ceil(m_side)) + 2 * m_padding;
        return {side, side};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor colour = m_color;
        if (isDown()) colour.setAlphaF(colour.alphaF() * 0.6f);
        if (m_symbol.isEmpty()) {
            p.setFont(font());
            p.setPen(colour);
            p.drawText(rect(), Qt::AlignCenter, text());
            return;
        }
        SymbolIcon::paint(p, QRectF(rect()).adjusted(m_padding, m_padding, -m_padding, -m_padding), m_symbol, colour);
    }

private:
    QString m_symbol;
    qreal m_side;
    int m_padding;
    QColor m_color;
};

QWidget* sectionTitle(const QString& title, const QString& caption, const PaletteTheme& theme, QWidget* parent,
                      TextView** captionView = nullptr)
{
    auto* w = new QWidget(parent);
    auto* column = new QVBoxLayout(w);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(
        new TextView(title, DashboardStyle::tracked(DashboardStyle::mono(10, QFont::Bold), 1.5), theme.accent, w));
    if (caption.isEmpty() && !captionView) return w;
    auto* text = new TextView(caption, DashboardStyle::font(11), theme.textDim, w);
    text->setElides(true);
    column->addWidget(text);
    if (captionView) *captionView = text;
    return w;
}

QWidget* placeholderCard(ThemeManager& themes, const QString& icon, const QString& title, const QString& subtitle,
                         QWidget* parent)
{
    const PaletteTheme& theme = themes.current();
    auto* card = new ActionCard(themes, parent);
    card->setObjectName(QStringLiteral("placeholderCard"));
    card->column()->setContentsMargins(0, 24, 0, 24);
    card->column()->setSpacing(8);
    card->column()->addWidget(new SymbolView(icon, 32, withOpacity(theme.textDim, 0.6), card), 0, Qt::AlignHCenter);
    auto* titleView = new TextView(title, DashboardStyle::font(13, QFont::DemiBold), theme.text, card);
    titleView->setObjectName(QStringLiteral("placeholderTitle"));
    card->column()->addWidget(titleView, 0, Qt::AlignHCenter);
    auto* subtitleView = new TextView(subtitle, DashboardStyle::font(11), theme.textDim, card);
    subtitleView->setObjectName(QStringLiteral("placeholderSubtitle"));
    card->column()->addWidget(subtitleView, 0, Qt::AlignHCenter);
    return card;
}

QWidget* sectionColumn(QWidget* parent, QVBoxLayout** layout)
{
    auto* w = new QWidget(parent);
    auto* column = new QVBoxLayout(w);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    *layout = column;
    return w;
}

bool sameAnalysis(const WakeAnalysis& a, const WakeAnalysis& b)
{
    return a.windowStart == b.windowStart && a.windowEnd == b.windowEnd && a.totalWakes == b.totalWakes &&
           a.topReasons == b.topReasons && a.humanSummary == b.humanSummary;
}

}  // namespace

SnapshotRow::SnapshotRow(const LocalSnapshot& snapshot, const QString& dateText, ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_snapshot(snapshot), m_themes(themes)
{
    setObjectName(QStringLiteral("snapshotRow"));
    const PaletteTheme& theme = themes.current();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(12);
    auto* icon = new SymbolView(QStringLiteral("clock.arrow.circlepath"), 13, theme.accentSecondary, this);
    icon->setFixedWidth(24);
    row->addWidget(icon);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* date = new TextView(dateText, DashboardStyle::font(12, QFont::Medium), theme.text, this);
    date->setObjectName(QStringLiteral("snapshotDate"));
    texts->addWidget(date);
    m_name = new TextView(snapshot.name, DashboardStyle::mono(10), theme.textDim, this);
    m_name->setElides(true);
    m_name->setElideMode(Qt::ElideMiddle);
    texts->addWidget(m_name);
    row->addLayout(texts, 1);
    auto* trash = new PlainButton(QStringLiteral("trash"), 12, 6, this);
    trash->setObjectName(QStringLiteral("deleteSnapshot"));
    m_delete = trash;
    row->addWidget(trash);
    connect(trash, &QAbstractButton::clicked, this, &SnapshotRow::deleteRequested);
    setEnabledState(true);
}

void SnapshotRow::setEnabledState(bool enabled)
{
    const PaletteTheme& theme = m_themes.current();
    m_delete->setEnabled(enabled);
    static_cast<PlainButton*>(m_delete)->setColor(enabled ? theme.danger : theme.textDim);
}

MaintenanceView::MaintenanceView(MaintenanceTools& tools, ThemeManager& themes, const Clock& clock, QWidget* parent)
    : QWidget(parent),
      m_tools(tools),
      m_themes(themes),
      m_clock(clock),
      m_wakeWindowHours(defaultWakeWindowHours)
{
    setObjectName(QStringLiteral("maintenanceView"));
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    frame->addWidget(m_scroll);
    m_scanLines = new ScanLineOverlay(this);
    m_scanLines->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_ageTick = new QTimer(this);
    m_ageTick->setInterval(30'000);
    connect(m_ageTick, &QTimer::timeout, this, &MaintenanceView::scheduleRefresh);

    buildPage();
    connect(&tools, &MaintenanceTools::changed, this, &MaintenanceView::scheduleRefresh);
    connect(&themes, &ThemeManager::currentChanged, this, [this] {
        // Rare: everything is built again in the new colours.
        buildPage();
        refresh();
    });
    refresh();
}

void MaintenanceView::buildPage()
{
    const PaletteTheme& theme = m_themes.current();
    if (m_confirm) m_confirm->close();
    m_rows.clear();
    m_windowButtons.clear();
    m_shownSnapshots.clear();
    m_snapshotsShown = false;
    m_shownWake.reset();
    m_wakeShown = false;
    m_wakePlaceholder = m_wakeCard = nullptr;
    m_wakeFigure = nullptr;
    m_wakeSummary = nullptr;
    m_wakeReasonLines.clear();
    m_snapshotPlaceholder = nullptr;
    m_snapshotContent = m_wakeContent = nullptr;

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("maintenancePage"));
    QPalette pagePalette = page->palette();
    pagePalette.setColor(QPalette::Window, theme.background);
    page->setPalette(pagePalette);
    page->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);

    // Header and status line.
    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    header->addWidget(
        new TextView(pageTitle, DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1.5), theme.accent, page));
    auto* caption = new TextView(pageCaption, DashboardStyle::font(12), theme.textDim, page);
    caption->setElides(true);
    header->addWidget(caption);
    m_status = new WrappedTextView(QString(), DashboardStyle::font(12, QFont::Medium), theme.success, 4, page);
    m_status->setObjectName(QStringLiteral("statusLine"));
    header->addWidget(m_status);
    column->addLayout(header);

    // Instant fixes.
    QVBoxLayout* fixes = nullptr;
    column->addWidget(sectionColumn(page, &fixes));
    // Some fixes run as the user and some ask for the password: each row that asks says so.
    fixes->addWidget(sectionTitle(fixesTitle, QString(), theme, page));
    auto* card = new ActionCard(m_themes, page);
    card->setObjectName(QStringLiteral("fixesCard"));
    auto addRow = [&](MaintenanceActionRow* row) {
        if (!m_rows.isEmpty()) card->column()->addWidget(new CardDivider(m_themes, card));
        card->column()->addWidget(row);
        m_rows << row;
    };
    // The sound services are the user's own: restarting them asks for no password.
    auto* audio = new MaintenanceActionRow(QStringLiteral("speaker.wave.2.fill"), audioTitle, QString(),
                                           QStringLiteral("Reset"), false, m_themes, card);
    connect(audio, &MaintenanceActionRow::triggered, this, &MaintenanceView::resetAudioAction);
    addRow(audio);
    auto* dns = new MaintenanceActionRow(QStringLiteral("network"), dnsTitle, QString(), QStringLiteral("Flush"), true,
                                         m_themes, card);
    connect(dns, &MaintenanceActionRow::triggered, this, &MaintenanceView::flushDNSAction);
    addRow(dns);
    for (const QuickFix& fix : m_tools.quickFixes()) {
        auto* row = new MaintenanceActionRow(fix.icon, fix.title, fix.subtitle, fix.actionLabel, fix.needsAdmin,
                                             m_themes, card);
        row->setProperty("fixId", fix.id);
        connect(row, &MaintenanceActionRow::triggered, this, [this, fix] { runQuickFixAction(fix); });
        addRow(row);
    }
    fixes->addWidget(card);

    // Local snapshots.
    QVBoxLayout* snapshots = nullptr;
    column->addWidget(sectionColumn(page, &snapshots));
    auto* heading = new QHBoxLayout;
    heading->addWidget(sectionTitle(snapshotsTitle, noSnapshotsCaption, theme, page, &m_snapshotCaption), 1);
    auto* refresh = new PlainButton(QStringLiteral("arrow.clockwise"), 11, 4, page);
    refresh->setObjectName(QStringLiteral("refreshSnapshots"));
    refresh->setColor(theme.textDim);
    heading->addWidget(refresh);
    auto* deleteAll = PlainButton::makeText(deleteAllLabel, DashboardStyle::font(11, QFont::DemiBold), page);
    deleteAll->setObjectName(QStringLiteral("deleteAllSnapshots"));
    deleteAll->setColor(theme.danger);
    heading->addWidget(deleteAll);
    m_refresh = refresh;
    m_deleteAll = deleteAll;
    snapshots->addLayout(heading);
    m_snapshotBody = new QVBoxLayout;
    m_snapshotBody->setContentsMargins(0, 0, 0, 0);
    snapshots->addLayout(m_snapshotBody);
    connect(refresh, &QAbstractButton::clicked, this, [this] { m_tools.refreshSnapshots(); });
    connect(deleteAll, &QAbstractButton::clicked, this, [this] {
        if (m_confirm) return;
        m_confirm = new QMessageBox(QMessageBox::Warning, deleteAllTitle, deleteAllTitle, QMessageBox::NoButton, this);
        m_confirm->setObjectName(QStringLiteral("confirmDeleteAllSnapshots"));
        m_confirm->setInformativeText(deleteAllMessage);
        m_confirm->addButton(QMessageBox::Cancel);
        QPushButton* remove = m_confirm->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
        m_confirm->setDefaultButton(qobject_cast<QPushButton*>(m_confirm->button(QMessageBox::Cancel)));
        m_confirm->setAttribute(Qt::WA_DeleteOnClose);
        QMessageBox* box = m_confirm;
        connect(m_confirm, &QMessageBox::finished, this, [this, box, remove] {
            const bool confirmed = box->clickedButton() == remove;
            m_confirm = nullptr;
            if (confirmed) deleteAllSnapshotsAction();
        });
        m_confirm->open();
    });

    // Sleep and wake.
    QVBoxLayout* wake = nullptr;
    column->addWidget(sectionColumn(page, &wake));
    auto* wakeHeading = new QHBoxLayout;
    wakeHeading->addWidget(sectionTitle(wakeTitle, wakeCaption, theme, page), 1);
    auto* picker = new QWidget(page);
    picker->setObjectName(QStringLiteral("wakeWindowPicker"));
    picker->setFixedWidth(200);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    auto* group = new QButtonGroup(picker);
    group->setExclusive(true);
    const QString segmentStyle = QStringLiteral(
        "QPushButton{background:%1;color:%2;border:1px solid %3;padding:3px 0;}"
        "QPushButton:checked{background:%4;color:%5;}")
        .arg(theme.surface.name(QColor::HexArgb), theme.textDim.name(QColor::HexArgb), theme.border.name(QColor::HexArgb),
             theme.accent.name(QColor::HexArgb), QColor(Qt::black).name(QColor::HexArgb));
    for (const WakeWindow& option : wakeWindows()) {
        auto* segment = new QPushButton(option.label, picker);
        segment->setCheckable(true);
        segment->setChecked(option.hours == m_wakeWindowHours);
        segment->setFont(DashboardStyle::font(11, QFont::Medium));
        segment->setStyleSheet(segmentStyle);
        segment->setProperty("hours", option.hours);
        group->addButton(segment);
        segments->addWidget(segment, 1);
        m_windowButtons << segment;
        const int hours = option.hours;
        connect(segment, &QAbstractButton::clicked, this, [this, hours] { selectWakeWindow(hours); });
    }
    wakeHeading->addWidget(picker, 0, Qt::AlignVCenter);
    wake->addLayout(wakeHeading);
    m_wakeBody = new QVBoxLayout;
    m_wakeBody->setContentsMargins(0, 0, 0, 0);
    wake->addLayout(m_wakeBody);

    column->addStretch(1);
    m_scroll->setWidget(page);  // deletes the previous page
    m_scanLines->raise();
}

void MaintenanceView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_ageTick->start();
    if (event->spontaneous()) return;
    // Each time the tab appears: a fresh snapshot listing (one that asks for a password only on
    // the session's first visit), and a first analysis only when the shared tools hold none yet.
    m_tools.showSnapshots();
    if (!m_tools.lastWakeAnalysis()) m_tools.analyzeWakes(m_wakeWindowHours, [](std::optional<WakeAnalysis>) {});
}

void MaintenanceView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_ageTick->stop();
}

void MaintenanceView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_scanLines->setGeometry(rect());
    m_scanLines->raise();
}

void MaintenanceView::setStatus(const QString& message, bool isError)
{
    m_statusMessage = message;
    m_statusIsError = isError;
    refresh();
}

void MaintenanceView::clearStatus()
{
    m_statusMessage.reset();
    refresh();
}

void MaintenanceView::resetAudioAction()
{
    clearStatus();
    QPointer<MaintenanceView> self(this);
    m_tools.resetAudioServer([self](bool ok, std::optional<QString> error) {
        if (!self) return;
        const MaintenanceModel::Status s = audioOutcome(ok, error);
        self->setStatus(s.message, s.isError);
    });
}

void MaintenanceView::flushDNSAction()
{
    clearStatus();
    QPointer<MaintenanceView> self(this);
    m_tools.flushDNS([self](bool ok, std::optional<QString> error) {
        if (!self) return;
        const MaintenanceModel::Status s = dnsOutcome(ok, error);
        self->setStatus(s.message, s.isError);
    });
}

void MaintenanceView::runQuickFixAction(const QuickFix& fix)
{
    clearStatus();
    QPointer<MaintenanceView> self(this);
    m_tools.runQuickFix(fix, [self, fix](bool ok, std::optional<QString> error) {
        if (!self) return;
        const MaintenanceModel::Status s = quickFixOutcome(fix, ok, error);
        self->setStatus(s.message, s.isError);
    });
}

void MaintenanceView::deleteSnapshotAction(const LocalSnapshot& snapshot)
{
    QPointer<MaintenanceView> self(this);
    m_tools.deleteSnapshot(snapshot, [self](bool ok, const QString&) {
        if (!self) return;
        const MaintenanceModel::Status s = deleteOneOutcome(ok);
        self->setStatus(s.message, s.isError);
    });
}

void MaintenanceView::deleteAllSnapshotsAction()
{
    QPointer<MaintenanceView> self(this);
    m_tools.deleteAllSnapshots([self](int deleted, const QStringList& failed) {
        if (!self) return;
        const MaintenanceModel::Status s = deleteAllOutcome(deleted, failed.size());
        self->setStatus(s.message, s.isError);
    });
}

void MaintenanceView::selectWakeWindow(int hours)
{
    for (QAbstractButton* b : m_windowButtons) b->setChecked(b->property("hours").toInt() == hours);
    if (hours == m_wakeWindowHours) return;
    m_wakeWindowHours = hours;
    m_tools.analyzeWakes(hours, [](std::optional<WakeAnalysis>) {});
}

QList<SnapshotRow*> MaintenanceView::snapshotRows() const
{
    if (!m_snapshotContent || m_snapshotContent == m_snapshotPlaceholder) return {};
    return m_snapshotContent->findChildren<SnapshotRow*>(Qt::FindDirectChildrenOnly);
}

int MaintenanceView::snapshotDividers() const
{
    if (!m_snapshotContent || m_snapshotContent == m_snapshotPlaceholder) return 0;
    return int(m_snapshotContent->findChildren<QWidget*>(QStringLiteral("cardDivider"), Qt::FindDirectChildrenOnly).size());
}

bool MaintenanceView::wakeFigureGlows() const
{
    return m_wakeFigure && qobject_cast<NeonGlowEffect*>(m_wakeFigure->graphicsEffect()) != nullptr;
}

QStringList MaintenanceView::wakeReasonLines() const { return m_wakeReasonLines; }

void MaintenanceView::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void MaintenanceView::refresh()
{
    m_refreshQueued = false;
    const PaletteTheme& theme = m_themes.current();
    const QDateTime now = m_clock.now();

    m_status->setVisible(m_statusMessage.has_value());
    m_status->setText(m_statusMessage.value_or(QString()));
    m_status->setColor(m_statusIsError ? theme.danger : theme.success);

    const bool working = m_tools.isWorking();
    const QList<QuickFix>& fixes = m_tools.quickFixes();
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        MaintenanceActionRow* row = m_rows[i];
        if (i == 0) {
            row->setSubtitle(audioSubtitle(m_tools.lastAudioReset(), now));
        } else if (i == 1) {
            row->setSubtitle(dnsSubtitle(m_tools.lastDNSFlush(), now));
        } else if (i - 2 < fixes.size()) {
            row->setSubtitle(quickFixSubtitle(fixes[i - 2], m_tools.lastQuickFixRun(), now));
        }
        row->setState(working, !working);
    }

    const QList<LocalSnapshot>& list = m_tools.localSnapshots();
    m_snapshotCaption->setText(snapshotCountCaption(list.size()));
    m_deleteAll->setVisible(!list.isEmpty());
    rebuildSnapshots();
    for (SnapshotRow* row : snapshotRows()) row->setEnabledState(!working);

    rebuildWake();
    m_scanLines->setLinesEnabled(theme.enableScanLines);
    m_scanLines->setColor(theme.accentSecondary);
}

void MaintenanceView::rebuildSnapshots()
{
    const QList<LocalSnapshot>& list = m_tools.localSnapshots();
    QList<QUuid> ids;
    for (const LocalSnapshot& s : list) ids << s.id;
    if (m_snapshotsShown && ids == m_shownSnapshots) return;
    m_snapshotsShown = true;
    m_shownSnapshots = ids;
    delete m_snapshotContent;
    m_snapshotPlaceholder = nullptr;
    QWidget* page = m_scroll->widget();
    if (list.isEmpty()) {
        m_snapshotPlaceholder = placeholderCard(m_themes, QStringLiteral("checkmark.seal.fill"), noSnapshotsTitle,
                                                noSnapshotsSubtitle, page);
        m_snapshotContent = m_snapshotPlaceholder;
    } else {
        auto* card = new ActionCard(m_themes, page);
        card->setObjectName(QStringLiteral("snapshotsCard"));
        const QLocale locale;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const LocalSnapshot snapshot = list[i];
            auto* row = new SnapshotRow(snapshot, snapshotDateText(snapshot.date, locale), m_themes, card);
            connect(row, &SnapshotRow::deleteRequested, this, [this, snapshot] { deleteSnapshotAction(snapshot); });
            card->column()->addWidget(row);
            if (i + 1 < list.size()) card->column()->addWidget(new CardDivider(m_themes, card));
        }
        m_snapshotContent = card;
    }
    m_snapshotBody->addWidget(m_snapshotContent);
}

void MaintenanceView::rebuildWake()
{
    const std::optional<WakeAnalysis>& analysis = m_tools.lastWakeAnalysis();
    if (m_wakeShown && analysis.has_value() == m_shownWake.has_value() &&
        (!analysis || sameAnalysis(*analysis, *m_shownWake))) {
        return;
    }
    m_wakeShown = true;
    m_shownWake = analysis;
    delete m_wakeContent;
    m_wakePlaceholder = m_wakeCard = nullptr;
    m_wakeFigure = nullptr;
    m_wakeSummary = nullptr;
    m_wakeReasonLines.clear();
    QWidget* page = m_scroll->widget();
    const PaletteTheme& theme = m_themes.current();
    if (!analysis) {
        m_wakePlaceholder = placeholderCard(m_themes, QStringLiteral("moon.zzz.fill"), wakePendingTitle,
                                            wakePendingSubtitle, page);
        m_wakeContent = m_wakePlaceholder;
        m_wakeBody->addWidget(m_wakeContent);
        return;
    }

    auto* card = new ActionCard(m_themes, page);
    card->setObjectName(QStringLiteral("wakeCard"));
    card->column()->setContentsMargins(16, 16, 16, 16);
    card->column()->setSpacing(12);
    auto* summary = new QHBoxLayout;
    summary->setSpacing(12);
    QFont figureFont = DashboardStyle::mono(36, QFont::Bold);
    m_wakeFigure = new TextView(cformat("%lld", static_cast<long long>(analysis->totalWakes)), figureFont, theme.mono,
                                card);
    m_wakeFigure->setObjectName(QStringLiteral("wakeFigure"));
    if (theme.enableNeonGlow) {
        m_wakeFigure->setGraphicsEffect(new NeonGlowEffect(NeonGlowModifier{theme.accentGlow, 6, true}, m_wakeFigure));
    }
    summary->addWidget(m_wakeFigure);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    const QFont headingFont = DashboardStyle::tracked(DashboardStyle::mono(9, QFont::Bold), 1.5);
    texts->addWidget(new TextView(wakeEventsHeading, headingFont, theme.textDim, card));
    m_wakeSummary = new WrappedTextView(analysis->humanSummary, DashboardStyle::font(12), theme.text, 3, card);
    m_wakeSummary->setObjectName(QStringLiteral("wakeSummary"));
    texts->addWidget(m_wakeSummary);
    summary->addLayout(texts, 1);
    card->column()->addLayout(summary);

    if (!analysis->topReasons.isEmpty()) {
        card->column()->addWidget(new CardDivider(m_themes, card));
        auto* reasons = new QVBoxLayout;
        reasons->setSpacing(4);
        reasons->addWidget(new TextView(topReasonsHeading, headingFont, theme.textDim, card));
        m_wakeReasonLines << topReasonsHeading;
        for (const auto& [reason, count] : analysis->topReasons) {
            auto* line = new QHBoxLayout;
            auto* name = new TextView(reason, DashboardStyle::font(12), theme.text, card);
            name->setElides(true);
            line->addWidget(name, 1);
            const QString figure = cformat("%lld", static_cast<long long>(count));
            line->addWidget(new TextView(figure, theme.monoFont.font(), theme.mono, card));
            reasons->addLayout(line);
            m_wakeReasonLines << reason + QLatin1Char(' ') + figure;
        }
        card->column()->addLayout(reasons);
    }
    m_wakeCard = card;
    m_wakeContent = card;
    m_wakeBody->addWidget(m_wakeContent);
}
