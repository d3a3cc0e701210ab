#include "ui/dashboard/DiskCleanerView.h"

#include "actions/DiskCleaner.h"
#include "actions/EpitopeLibrary.h"
#include "actions/SampleResult.h"
#include "core/ByteCountFormatter.h"
#include "monitoring/PerformanceMonitor.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/theme/ThemeManager.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

using namespace DiskCleanerModel;

namespace {

double freeGiB(const PerformanceSnapshot& s)
{
    return double(s.diskTotal - s.diskUsed) / double(uint64_t(1) << 30);
}

QString buttonStyle(const QColor& background, const QColor& foreground)
{
    return QStringLiteral("QPushButton{background:%1;color:%2;border:none;border-radius:8px;padding:8px 16px;}")
        .arg(background.name(QColor::HexArgb), foreground.name(QColor::HexArgb));
}

QString flatStyle(const QColor& foreground)
{
    return QStringLiteral("QPushButton{background:transparent;color:%1;border:none;}")
        .arg(foreground.name(QColor::HexArgb));
}

QWidget* centredColumn(QWidget* parent, int spacing)
{
    auto* w = new QWidget(parent);
    auto* column = new QVBoxLayout(w);
    column->setSpacing(spacing);
    column->addStretch(1);
    return w;
}

}  // namespace

CleanupTargetRow::CleanupTargetRow(const CleanupTarget& target, bool isSelected, ThemeManager& themes,
                                   QWidget* parent)
    : QWidget(parent), m_target(target), m_selected(isSelected), m_themes(themes)
{
    setObjectName(QStringLiteral("cleanupTargetRow"));
    if (isSelectable(target)) setCursor(Qt::PointingHandCursor);
    const QColor gray = namedColor(NamedColor::gray);
    const QColor accent = themes.current().accent;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 8, 16, 8);
    row->setSpacing(12);
    m_check = new SymbolView(QStringLiteral("circle"), 16, gray, this);
    if (!isSelectable(target)) {
        // No check mark to tick; its place is kept so the row lines up with the others.
        QSizePolicy keep = m_check->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        m_check->setSizePolicy(keep);
        m_check->hide();
    }
    row->addWidget(m_check);
    row->addWidget(new SymbolView(CleanupTarget::icon(target.category), 14, gray, this));
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(new TextView(target.name, DashboardStyle::font(12, QFont::Medium), themes.current().textBright, this));
    if (isSelectable(target)) {
        auto* path = new TextView(target.path, DashboardStyle::mono(10), withOpacity(gray, 0.6), this);
        path->setElides(true);
        names->addWidget(path);
    } else {
        m_note = new TextView(trashNote, DashboardStyle::font(10), gray, this);
        names->addWidget(m_note);
    }
    row->addLayout(names, 1);
    row->addWidget(new TextView(formatByteCount(qint64(target.sizeBytes)), DashboardStyle::mono(12, QFont::Bold), accent,
                                this));
    m_selected = !isSelected;
    setSelected(isSelected);
}

void CleanupTargetRow::setSelected(bool selected)
{
    if (!isSelectable(m_target)) selected = false;
    if (selected == m_selected) return;
    m_selected = selected;
    m_check->setName(selected ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"));
    m_check->setColor(selected ? m_themes.current().accent : withOpacity(namedColor(NamedColor::gray), 0.5));
    update();
}

void CleanupTargetRow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && isSelectable(m_target)) {
        Q_EMIT toggled();
    }
}

void CleanupTargetRow::paintEvent(QPaintEvent*)
{
    if (!m_selected) return;
    QPainter p(this);
    p.fillRect(rect(), withOpacity(m_themes.current().accent, 0.05));
}

DiskCleanerView::DiskCleanerView(DiskCleaner& cleaner, PerformanceMonitor& monitor, EpitopeLibrary* epitopes,
                                 ThemeManager& themes, QWidget* parent)
    : QWidget(parent), m_cleaner(cleaner), m_monitor(monitor), m_epitopes(epitopes), m_themes(themes)
{
    setObjectName(QStringLiteral("diskCleanerView"));
    const QColor gray = namedColor(NamedColor::gray);
    const QColor accent = themes.current().accent;
    auto* tab = new QVBoxLayout(this);
    tab->setContentsMargins(0, 0, 0, 0);
    tab->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 16, 16, 16);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    m_title = new TextView(title, DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1.5), accent, this);
    m_free = new TextView(QString(), DashboardStyle::font(12), gray, this);
    m_freed = new TextView(QString(), DashboardStyle::font(12, QFont::DemiBold), namedColor(NamedColor::green), this);
    left->addWidget(m_title);
    left->addWidget(m_free);
    left->addWidget(m_freed);
    header->addLayout(left);
    header->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    m_canFree = new TextView(QString(), DashboardStyle::font(12, QFont::Bold), accent, this);
    m_selectedText = new TextView(QString(), DashboardStyle::font(11), gray, this);
    m_canFree->setAlignment(Qt::AlignRight);
    m_selectedText->setAlignment(Qt::AlignRight);
    right->addWidget(m_canFree, 0, Qt::AlignRight);
    right->addWidget(m_selectedText, 0, Qt::AlignRight);
    header->addLayout(right);
    tab->addLayout(header);
    tab->addWidget(new Divider(themes, Qt::Horizontal, 1.0, this));

    // Prompt.
    m_prompt = centredColumn(this, 16);
    auto* promptColumn = static_cast<QVBoxLayout*>(m_prompt->layout());
    promptColumn->addWidget(new SymbolView(QStringLiteral("externaldrive.badge.questionmark"), 48,
                                           withOpacity(accent, 0.4), m_prompt),
                            0, Qt::AlignHCenter);
    auto* promptText = new TextView(DiskCleanerModel::promptText, DashboardStyle::font(13), gray, m_prompt);
    promptText->setAlignment(Qt::AlignHCenter);
    promptColumn->addWidget(promptText, 0, Qt::AlignHCenter);
    m_scanButton = new QPushButton(scanNow, m_prompt);
    m_scanButton->setFont(DashboardStyle::font(13, QFont::DemiBold));
    m_scanButton->setStyleSheet(buttonStyle(accent, Qt::black) +
                                QStringLiteral("QPushButton{padding:10px 24px;}"));
    promptColumn->addWidget(m_scanButton, 0, Qt::AlignHCenter);
    promptColumn->addStretch(1);
    tab->addWidget(m_prompt, 1);

    // Scanning or cleaning.
    m_busy = centredColumn(this, 12);
    auto* busyColumn = static_cast<QVBoxLayout*>(m_busy->layout());
    busyColumn->addWidget(new SymbolView(QStringLiteral("hourglass"), 32, gray, m_busy), 0, Qt::AlignHCenter);
    m_busyText = new TextView(scanningText, DashboardStyle::font(13), gray, m_busy);
    busyColumn->addWidget(m_busyText, 0, Qt::AlignHCenter);
    busyColumn->addStretch(1);
    tab->addWidget(m_busy, 1);

    // Clean.
    m_clean = centredColumn(this, 12);
    auto* cleanColumn = static_cast<QVBoxLayout*>(m_clean->layout());
    cleanColumn->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"), 48, namedColor(NamedColor::green),
                                          m_clean),
                           0, Qt::AlignHCenter);
    cleanColumn->addWidget(new TextView(cleanTitle, DashboardStyle::font(16, QFont::DemiBold),
                                        namedColor(NamedColor::white), m_clean),
                           0, Qt::AlignHCenter);
    cleanColumn->addWidget(new TextView(cleanHint, DashboardStyle::font(13), gray, m_clean), 0, Qt::AlignHCenter);
    cleanColumn->addStretch(1);
    tab->addWidget(m_clean, 1);

    // Results.
    m_results = new QWidget(this);
    auto* results = new QVBoxLayout(m_results);
    results->setContentsMargins(0, 0, 0, 0);
    results->setSpacing(0);
    auto* selectionRow = new QHBoxLayout;
    selectionRow->setContentsMargins(16, 8, 16, 8);
    m_selectionButton = new QPushButton(m_results);
    m_selectionButton->setFont(DashboardStyle::font(11));
    m_selectionButton->setStyleSheet(flatStyle(accent));
    selectionRow->addWidget(m_selectionButton);
    selectionRow->addStretch(1);
    results->addLayout(selectionRow);
    m_scroll = DashboardStyle::recordListScroll(m_results);
    results->addWidget(m_scroll, 1);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    m_rescanButton = new QPushButton(rescan, m_results);
    m_rescanButton->setFont(DashboardStyle::font(12));
    m_rescanButton->setStyleSheet(flatStyle(gray));
    footer->addWidget(m_rescanButton);
    footer->addStretch(1);
    m_cleanButton = new QPushButton(m_results);
    m_cleanButton->setFont(DashboardStyle::font(12, QFont::DemiBold));
    footer->addWidget(m_cleanButton);
    results->addLayout(footer);
    tab->addWidget(m_results, 1);

    connect(m_scanButton, &QPushButton::clicked, this, [this] { startScan(true); });
    connect(m_rescanButton, &QPushButton::clicked, this, [this] { startScan(false); });
    connect(m_selectionButton, &QPushButton::clicked, this, [this] {
        const QList<CleanupTarget>& list = m_cleaner.lastScanResults();
        if (m_selected.size() != selectableCount(list)) {
            m_selected.clear();
            for (const CleanupTarget& t : list)
                if (isSelectable(t)) m_selected.insert(t.id);
        } else {
            m_selected.clear();
        }
        syncSelection();
        refresh();
    });
    connect(m_cleanButton, &QPushButton::clicked, this, &DiskCleanerView::askToClean);
    connect(&cleaner, &DiskCleaner::isScanningChanged, this, &DiskCleanerView::scheduleRefresh);
    connect(&cleaner, &DiskCleaner::isCleaningChanged, this, &DiskCleanerView::scheduleRefresh);
    connect(&cleaner, &DiskCleaner::lastScanResultsChanged, this, [this] {
        rebuildList();
        scheduleRefresh();
    });
    connect(&monitor, &PerformanceMonitor::snapshotChanged, this, &DiskCleanerView::scheduleRefresh);
    connect(&themes, &ThemeManager::currentChanged, this, &DiskCleanerView::scheduleRefresh);
    rebuildList();
    refresh();
}

Content DiskCleanerView::content() const
{
    return DiskCleanerModel::content(m_cleaner.isScanning(), m_cleaner.isCleaning(), m_hasScanned,
                                     m_cleaner.lastScanResults().isEmpty());
}

QWidget* DiskCleanerView::currentContent() const
{
    switch (content()) {
    case Content::prompt: return m_prompt;
    case Content::scanning:
    case Content::cleaning: return m_busy;
    case Content::clean: return m_clean;
    case Content::results: return m_results;
    }
    return m_prompt;
}

QList<CleanupTargetRow*> DiskCleanerView::rows() const
{
    if (!m_listContent) return {};
    return m_listContent->findChildren<CleanupTargetRow*>(Qt::FindDirectChildrenOnly);
}

void DiskCleanerView::toggleSelection(const CleanupTarget& target)
{
    if (!m_selected.remove(target.id) && isSelectable(target)) m_selected.insert(target.id);
    syncSelection();
    refresh();
}

void DiskCleanerView::startScan(bool fromPrompt)
{
    QPointer<DiskCleanerView> self(this);
    m_cleaner.scanInBackground([self, fromPrompt](const QList<CleanupTarget>&) {
        if (!self) return;
        if (fromPrompt) self->m_hasScanned = true;
        else self->m_selected.clear();
        self->syncSelection();
        self->refresh();
    });
}

void DiskCleanerView::askToClean()
{
    if (m_selected.isEmpty() || m_confirm) return;
    const uint64_t bytes = selectedBytes(m_cleaner.lastScanResults(), m_selected);
    m_confirm = new QMessageBox(QMessageBox::Warning, confirmTitle, confirmMessage(bytes), QMessageBox::NoButton, this);
    m_confirm->setObjectName(QStringLiteral("confirmCleanup"));
    m_confirm->addButton(QMessageBox::Cancel);
    QPushButton* clean = m_confirm->addButton(QStringLiteral("Clean"), QMessageBox::DestructiveRole);
    m_confirm->setDefaultButton(qobject_cast<QPushButton*>(m_confirm->button(QMessageBox::Cancel)));
    m_confirm->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_confirm, &QMessageBox::finished, this, [this, clean] {
        const bool confirmed = m_confirm && m_confirm->clickedButton() == clean;
        m_confirm = nullptr;
        if (confirmed) cleanSelected();
    });
    m_confirm->open();
}

void DiskCleanerView::cleanSelected()
{
    QList<CleanupTarget> list;
    for (const CleanupTarget& t : m_cleaner.lastScanResults())
        if (m_selected.contains(t.id)) list << t;
    const PerformanceSnapshot before = m_monitor.currentSnapshot();
    QPointer<DiskCleanerView> self(this);
    m_cleaner.cleanInBackground(list, [self, before](const QList<CleanupTarget>& cleaned) {
        if (self) self->finishClean(cleaned, before);
    });
}

void DiskCleanerView::finishClean(const QList<CleanupTarget>& cleaned, const PerformanceSnapshot& before)
{
    uint64_t moved = 0;
    for (const CleanupTarget& t : cleaned) moved += t.sizeBytes;
    m_lastFreed = moved;
    m_selected.clear();
    syncSelection();
    refresh();
    // The monitor publishes free space on its own interval; give it a moment before reading the
    // after figure, without holding the window.
    QPointer<DiskCleanerView> self(this);
    QTimer::singleShot(800, this, [self, before, moved] {
        if (!self) return;
        const PerformanceSnapshot after = self->m_monitor.currentSnapshot();
        if (self->m_epitopes) {
            MeasuredOutcome outcome;
            outcome.metric = OutcomeMetric::diskFreedGB;
            outcome.epitopeID = QStringLiteral("manual:diskclean");
            outcome.before = freeGiB(before);
            outcome.after = freeGiB(after);
            outcome.delta = outcome.after - outcome.before;
            outcome.measuredAt = QDateTime::currentDateTime();
            self->m_epitopes->recordManualAction(QStringLiteral("manual:diskclean"), QStringLiteral("Disk Cleanup"),
                                                 OutcomeMetric::diskFreedGB, SampleResult::value(outcome));
        }
        self->m_cleaner.scanInBackground();
        Q_EMIT self->cleanFinished(moved);
    });
}

void DiskCleanerView::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void DiskCleanerView::rebuildList()
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (const CleanupTarget& target : m_cleaner.lastScanResults()) {
        auto* row = new CleanupTargetRow(target, m_selected.contains(target.id), m_themes, content);
        connect(row, &CleanupTargetRow::toggled, this, [this, target] { toggleSelection(target); });
        column->addWidget(row);
        column->addWidget(new Divider(m_themes, Qt::Horizontal, 0.5, content));
    }
    column->addStretch(1);
    m_scroll->setWidget(content);  // deletes the previous list
    m_listContent = content;
}

void DiskCleanerView::syncSelection()
{
    for (CleanupTargetRow* row : rows()) row->setSelected(m_selected.contains(row->target().id));
}

void DiskCleanerView::refresh()
{
    m_refreshQueued = false;
    const QColor gray = namedColor(NamedColor::gray);
    const QColor accent = m_themes.current().accent;
    const QList<CleanupTarget>& list = m_cleaner.lastScanResults();
    const uint64_t selected = selectedBytes(list, m_selected);
    m_title->setColor(accent);
    m_free->setText(freeSpaceText(DiskCleaner::freeDiskSpace()));
    const bool summary = m_hasScanned && !list.isEmpty();
    m_canFree->setVisible(summary);
    m_selectedText->setVisible(summary);
    m_canFree->setText(DiskCleanerModel::canFreeText(m_cleaner.reclaimableBytes()));
    m_selectedText->setText(DiskCleanerModel::selectedText(selected));
    m_freed->setVisible(m_lastFreed.has_value());
    if (m_lastFreed) m_freed->setText(DiskCleanerModel::freedText(*m_lastFreed));

    const Content now = content();
    m_busyText->setText(now == Content::cleaning ? cleaningText : scanningText);
    QWidget* shown = currentContent();
    for (QWidget* w : {m_prompt, m_busy, m_clean, m_results}) w->setVisible(w == shown);

    m_selectionButton->setText(selectionButtonText(m_selected.size(), selectableCount(list)));
    m_cleanButton->setText(cleanButtonText(selected));
    const bool enabled = !m_selected.isEmpty();
    m_cleanButton->setEnabled(enabled);
    m_cleanButton->setStyleSheet(enabled ? buttonStyle(accent, Qt::black)
                                         : buttonStyle(withOpacity(gray, 0.3), gray));
}
