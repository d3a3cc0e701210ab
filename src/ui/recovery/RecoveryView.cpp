#include "ui/recovery/RecoveryView.h"

#include "core/ByteCountFormatter.h"
#include "core/Clock.h"
#include "ui/shell/StatusMenu.h"
#include "ui/theme/SymbolIcon.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QPixmap symbolPixmap(const QString& name, int side, const QColor& color, qreal dpr)
{
    QPixmap pixmap(QSize(side, side) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(p, QRectF(0, 0, side, side), name, color);
    return pixmap;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QFont smallFont(const QWidget* w)
{
    QFont f = w->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    return f;
}

QFont smallMono(const QWidget* w)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(smallFont(w).pointSizeF());
    return f;
}

QString secondaryStyle() { return QStringLiteral("color: palette(placeholder-text);"); }

QString countText(int n, const char* noun)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(noun) + (n == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

RecoveryView::RecoveryView(Deps deps, QWidget* parent) : QWidget(parent), m_d(std::move(deps))
{
    setWindowTitle(windowTitleText);
    setMinimumSize(760, 480);
    resize(900, 560);

    auto* split = new QSplitter(Qt::Horizontal, this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(split);

    // Left: filter, files, footer.
    auto* left = new QWidget(split);
    left->setMinimumWidth(320);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* filterBar = new QWidget(left);
    filterBar->setAutoFillBackground(true);
    auto* filterLayout = new QHBoxLayout(filterBar);
    filterLayout->setContentsMargins(10, 8, 10, 8);
    auto* glass = new QLabel(filterBar);
    glass->setPixmap(symbolPixmap(QStringLiteral("magnifyingglass"), 14, palette().color(QPalette::PlaceholderText),
                                  devicePixelRatioF()));
    m_filter = new QLineEdit(filterBar);
    m_filter->setPlaceholderText(QStringLiteral("Filter by path or filename"));
    m_filter->setFrame(false);
    filterLayout->addWidget(glass);
    filterLayout->addWidget(m_filter, 1);
    leftLayout->addWidget(filterBar);
    leftLayout->addWidget(divider(left));
    m_files = new QListWidget(left);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_files->setFrameShape(QFrame::NoFrame);
    leftLayout->addWidget(m_files, 1);
    leftLayout->addWidget(divider(left));
    auto* footer = new QWidget(left);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(8, 6, 10, 6);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), footer);
    refresh->setIcon(QIcon(symbolPixmap(QStringLiteral("arrow.clockwise"), 14, palette().color(QPalette::ButtonText),
                                        devicePixelRatioF())));
    refresh->setAutoDefault(false);
    m_footer = new QLabel(footer);
    m_footer->setFont(smallFont(this));
    m_footer->setStyleSheet(secondaryStyle());
    footerLayout->addWidget(refresh);
    footerLayout->addStretch(1);
    footerLayout->addWidget(m_footer);
    leftLayout->addWidget(footer);

    // Right: the placeholder, or the selected file's revisions.
    m_right = new QStackedWidget(split);
    m_right->setMinimumWidth(380);
    auto* placeholderPage = new QWidget(m_right);
    auto* placeholderLayout = new QVBoxLayout(placeholderPage);
    placeholderLayout->addStretch(1);
    auto* trayIcon = new QLabel(placeholderPage);
    trayIcon->setPixmap(symbolPixmap(QStringLiteral("tray"), 48, palette().color(QPalette::PlaceholderText), devicePixelRatioF()));
    trayIcon->setAlignment(Qt::AlignCenter);
    m_placeholder = new QLabel(placeholderPage);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_placeholder->setStyleSheet(secondaryStyle());
    placeholderLayout->addWidget(trayIcon);
    placeholderLayout->addWidget(m_placeholder);
    placeholderLayout->addStretch(1);
    m_right->addWidget(placeholderPage);

    auto* detail = new QWidget(m_right);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    auto* header = new QWidget(detail);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    m_title = new QLabel(header);
    QFont bold = font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_path = new QLabel(header);
    m_path->setFont(smallMono(this));
    m_path->setStyleSheet(secondaryStyle());
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    headerLayout->addWidget(m_title);
    headerLayout->addWidget(m_path);
    detailLayout->addWidget(header);
    detailLayout->addWidget(divider(detail));
    m_revisionList = new QListWidget(detail);
    m_revisionList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_revisionList->setFrameShape(QFrame::NoFrame);
    detailLayout->addWidget(m_revisionList, 1);
    detailLayout->addWidget(divider(detail));
    auto* actions = new QWidget(detail);
    auto* actionLayout = new QHBoxLayout(actions);
    actionLayout->setContentsMargins(12, 8, 12, 8);
    m_message = new QLabel(actions);
    m_message->setFont(smallFont(this));
    m_message->setStyleSheet(secondaryStyle());
    m_message->setWordWrap(true);
    m_message->setMaximumHeight(QFontMetrics(m_message->font()).lineSpacing() * 2 + 2);
    m_reveal = new QPushButton(QStringLiteral("Show in Files"), actions);
    m_reveal->setAutoDefault(false);
    m_restore = new QPushButton(QStringLiteral("Restore\u2026"), actions);
    m_restore->setDefault(true);
    actionLayout->addWidget(m_message);
    actionLayout->addStretch(1);
    actionLayout->addWidget(m_reveal);
    actionLayout->addWidget(m_restore);
    detailLayout->addWidget(actions);
    m_right->addWidget(detail);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({380, 520});

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& q) {
        m_query = q;
        refreshFiles();
    });
    connect(refresh, &QPushButton::clicked, this, &RecoveryView::reload);
    connect(m_files, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (m_filling || !item) return;
        selectBucket(item->data(Qt::UserRole).toString());
    });
    connect(m_revisionList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (m_filling || !item) return;
        m_selectedRevision = item->data(Qt::UserRole).toString();
        refreshButtons();
    });
    connect(m_reveal, &QPushButton::clicked, this, &RecoveryView::revealSelected);
    connect(m_restore, &QPushButton::clicked, this, [this] { restoreSelected(false); });
    // "Restore…" is the window's default button: Return presses it.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* press = new QShortcut(QKeySequence(key), this);
        connect(press, &QShortcut::activated, this, [this] {
            if (m_restore->isEnabled() && m_right->currentIndex() == 1) m_restore->click();
        });
    }

    refreshFiles();
    refreshDetail();
}

RecoveryView::~RecoveryView()
{
    // Work still running refers to what the window was given.
    for (QFutureWatcherBase* w : findChildren<QFutureWatcherBase*>()) w->waitForFinished();
}

template <typename T>
void RecoveryView::runAsync(std::function<T()> work, std::function<void(T)> done)
{
    ++m_busy;
    auto* watcher = new QFutureWatcher<T>(this);
    connect(watcher, &QFutureWatcher<T>::finished, this, [this, watcher, done = std::move(done)] {
        watcher->deleteLater();
        --m_busy;
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

QList<WorkRecovery::RecoverableFile> RecoveryView::filteredEntries() const
{
    if (m_query.isEmpty()) return m_entries;
    const QString q = m_query.toLower();
    QList<WorkRecovery::RecoverableFile> out;
    for (const auto& e : m_entries) {
        if (e.originalPath.toLower().contains(q)) out.append(e);
    }
    return out;
}

void RecoveryView::reload()
{
    const WorkRecovery& recovery = m_d.recovery;
    runAsync<QList<WorkRecovery::RecoverableFile>>([&recovery] { return recovery.recoverableFiles(); },
                                                   [this](QList<WorkRecovery::RecoverableFile> files) {
                                                       m_entries = std::move(files);
                                                       refreshFiles();
                                                       if (!m_selectedBucket && !m_entries.isEmpty()) {
                                                           selectBucket(m_entries.first().id);
                                                       } else {
                                                           refreshDetail();
                                                       }
                                                   });
}

void RecoveryView::selectBucket(const std::optional<QString>& bucket)
{
    if (bucket == m_selectedBucket) return;
    m_selectedBucket = bucket;
    refreshFiles();
    loadRevisions();
}

void RecoveryView::selectRevision(const std::optional<QString>& revision)
{
    m_selectedRevision = revision;
    refreshRevisions();
}

void RecoveryView::setQuery(const QString& query) { m_filter->setText(query); }

void RecoveryView::loadRevisions()
{
    m_restoreMessage.reset();
    m_selectedRevision.reset();
    const quint64 load = ++m_revisionLoad;
    if (!m_selectedBucket) {
        m_revisions.clear();
        refreshDetail();
        return;
    }
    m_revisions.clear();
    refreshDetail();
    const WorkRecovery& recovery = m_d.recovery;
    const QString bucket = *m_selectedBucket;
    runAsync<QList<WorkRecovery::SnapshotRevision>>([&recovery, bucket] { return recovery.listRevisions(bucket); },
                                                    [this, load](QList<WorkRecovery::SnapshotRevision> revisions) {
                                                        if (load != m_revisionLoad) return;
                                                        m_revisions = std::move(revisions);
                                                        if (!m_revisions.isEmpty()) m_selectedRevision = m_revisions.first().id;
                                                        refreshDetail();
                                                    });
}

void RecoveryView::restoreSelected(bool force)
{
    if (!m_selectedRevision || isBusy()) return;
    const WorkRecovery& recovery = m_d.recovery;
    const QString revision = *m_selectedRevision;
    m_restore->setEnabled(false);
    runAsync<WorkRecovery::RestoreResult>(
        [&recovery, revision, force] { return recovery.restoreSnapshot(revision, std::nullopt, force); },
        [this](WorkRecovery::RestoreResult result) {
            refreshButtons();
            handleRestore(result);
        });
}

void RecoveryView::handleRestore(const WorkRecovery::RestoreResult& result)
{
    using Kind = WorkRecovery::RestoreResult::Kind;
    switch (result.kind) {
    case Kind::success:
        m_restoreMessage = QStringLiteral("Restored to ") + result.restoredTo;
        refreshDetail();
        reload();
        return;
    case Kind::failure:
        m_restoreMessage = QStringLiteral("Restore failed: ") + result.message;
        refreshDetail();
        return;
    case Kind::originalNewer: {
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitleText,
                                    QStringLiteral("The current file is newer than this snapshot."), QMessageBox::NoButton,
                                    this);
        box->setInformativeText(QStringLiteral("Current file modified: ") + dateText(result.originalMtime) +
                                QStringLiteral("\nSnapshot captured: ") + dateText(result.snapshotMtime) +
                                QStringLiteral("\n\nRestoring will move the current file aside as a .bak and put the "
                                               "snapshot in its place."));
        QPushButton* anyway = box->addButton(QStringLiteral("Restore Anyway"), QMessageBox::AcceptRole);
        box->addButton(QMessageBox::Cancel);
        box->setDefaultButton(anyway);
        box->setAttribute(Qt::WA_DeleteOnClose);
        m_alert = box;
        connect(box, &QMessageBox::finished, this, [this, box, anyway] {
            if (box->clickedButton() == anyway) restoreSelected(true);
        });
        box->open();
        return;
    }
    }
}

void RecoveryView::revealSelected()
{
    if (m_selectedRevision && m_d.revealFile) m_d.revealFile(*m_selectedRevision);
}

QString RecoveryView::dateText(const QDateTime& date)
{
    return QLocale().toString(date.toLocalTime(), QStringLiteral("d MMM yyyy, HH:mm:ss"));
}

QString RecoveryView::footerText() const { return m_footer->text(); }

QString RecoveryView::placeholderText() const { return m_right->currentIndex() == 0 ? m_placeholder->text() : QString(); }

void RecoveryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reload();
}

void RecoveryView::refreshFiles()
{
    m_filling = true;
    m_files->clear();
    const QDateTime now = m_d.clock.now();
    for (const auto& e : filteredEntries()) {
        auto* item = new QListWidgetItem(m_files);
        item->setData(Qt::UserRole, e.id);
        auto* row = new QWidget;
        auto* layout = new QVBoxLayout(row);
        layout->setContentsMargins(8, 5, 8, 5);
        layout->setSpacing(2);
        const QFileInfo info(e.originalPath);
        auto* name = new QLabel(info.fileName(), row);
        QFont semibold = font();
        semibold.setWeight(QFont::DemiBold);
        name->setFont(semibold);
        auto* folder = new QLabel(row);
        folder->setFont(smallMono(this));
        folder->setStyleSheet(secondaryStyle());
        folder->setText(QFontMetrics(folder->font()).elidedText(info.path(), Qt::ElideMiddle, 330));
        folder->setToolTip(info.path());
        auto* line = new QWidget(row);
        auto* lineLayout = new QHBoxLayout(line);
        lineLayout->setContentsMargins(0, 0, 0, 0);
        auto* badge = new QLabel(countText(e.snapshotCount, "rev"), line);
        badge->setFont(smallFont(this));
        badge->setStyleSheet(QStringLiteral("background: rgba(128,128,128,38); border-radius: 4px; padding: 0 4px;"));
        auto* age = new QLabel(relativeAgeText(e.mostRecentAt, now), line);
        auto* size = new QLabel(formatByteCount(e.mostRecentBytes), line);
        for (QLabel* l : {age, size}) {
            l->setFont(smallFont(this));
            l->setStyleSheet(secondaryStyle());
        }
        lineLayout->addWidget(badge);
        lineLayout->addWidget(age);
        lineLayout->addWidget(size);
        lineLayout->addStretch(1);
        layout->addWidget(name);
        layout->addWidget(folder);
        layout->addWidget(line);
        item->setSizeHint(row->sizeHint());
        m_files->setItemWidget(item, row);
        if (m_selectedBucket == e.id) m_files->setCurrentItem(item);
    }
    m_footer->setText(countText(int(m_entries.size()), "file"));
    m_filling = false;
}

void RecoveryView::refreshDetail()
{
    const WorkRecovery::RecoverableFile* shown = nullptr;
    for (const auto& e : m_entries) {
        if (m_selectedBucket && e.id == *m_selectedBucket) {
            shown = &e;
            break;
        }
    }
    if (!shown) {
        m_placeholder->setText(m_entries.isEmpty() ? emptyText : selectText);
        m_right->setCurrentIndex(0);
        return;
    }
    const QFileInfo info(shown->originalPath);
    m_title->setText(info.fileName());
    m_path->setText(shown->originalPath);
    m_message->setText(m_restoreMessage.value_or(QString()));
    m_message->setVisible(m_restoreMessage.has_value());
    refreshRevisions();
    m_right->setCurrentIndex(1);
}

void RecoveryView::refreshRevisions()
{
    m_filling = true;
    m_revisionList->clear();
    const QDateTime now = m_d.clock.now();
    const QPixmap clock = symbolPixmap(QStringLiteral("clock.arrow.circlepath"), 16, palette().color(QPalette::Highlight),
                                       devicePixelRatioF());
    for (const auto& r : m_revisions) {
        auto* item = new QListWidgetItem(m_revisionList);
        item->setData(Qt::UserRole, r.id);
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(8, 5, 8, 5);
        auto* icon = new QLabel(row);
        icon->setPixmap(clock);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* date = new QLabel(dateText(r.capturedAt), row);
        QFont medium = font();
        medium.setWeight(QFont::Medium);
        date->setFont(medium);
        auto* detail = new QLabel(relativeAgeText(r.capturedAt, now) + QStringLiteral(" \u2014 ") + formatByteCount(r.bytes), row);
        detail->setFont(smallFont(this));
        detail->setStyleSheet(secondaryStyle());
        texts->addWidget(date);
        texts->addWidget(detail);
        layout->addWidget(icon);
        layout->addLayout(texts, 1);
        item->setSizeHint(row->sizeHint());
        m_revisionList->setItemWidget(item, row);
        if (m_selectedRevision == r.id) m_revisionList->setCurrentItem(item);
    }
    m_filling = false;
    refreshButtons();
}

void RecoveryView::refreshButtons()
{
    m_reveal->setEnabled(m_selectedRevision.has_value());
    m_restore->setEnabled(m_selectedRevision.has_value());
}

QMessageBox* RecoveryView::alert() const { return m_alert; }
