#include "ui/recovery/RecoveryView.h"

#include "core/Clock.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/recovery/RecoveryFileModel.h"
#include "ui/recovery/RecoveryFileRow.h"
#include "ui/recovery/RecoveryRevisionModel.h"
#include "ui/recovery/RecoveryRevisionRow.h"
#include "ui/theme/PlainText.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/TavrilonSecondaryButton.h"
#include "ui/theme/ThemeManager.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <climits>

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

QString countText(qsizetype n, const char* noun)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(noun) + (n == 1 ? QString() : QStringLiteral("s"));
}

QListView* rowList(QWidget* parent)
{
    auto* list = new QListView(parent);
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as tall as the first: laying out ten thousand rows is arithmetic.
    list->setUniformItemSizes(true);
    list->setMouseTracking(true);
    list->setAutoFillBackground(false);
    list->viewport()->setAutoFillBackground(false);
    return list;
}

}  // namespace

RecoveryView::RecoveryView(Deps deps, QWidget* parent) : QWidget(parent), m_d(std::move(deps))
{
    setWindowTitle(windowTitleText);
    setMinimumSize(760, 480);
    resize(900, 560);
    setAutoFillBackground(true);
    ThemeManager& themes = m_d.themes;

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setHandleWidth(1);
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
    auto* filterLayout = new QHBoxLayout(filterBar);
    filterLayout->setContentsMargins(12, 9, 12, 9);
    m_glass = new QLabel(filterBar);
    m_filter = new QLineEdit(filterBar);
    m_filter->setPlaceholderText(QStringLiteral("Filter by path or filename"));
    m_filter->setFrame(false);
    m_filter->setFont(DashboardStyle::font(12));
    filterLayout->addWidget(m_glass);
    filterLayout->addWidget(m_filter, 1);
    leftLayout->addWidget(filterBar);
    leftLayout->addWidget(new Divider(themes, Qt::Horizontal, 1.0, left));
    m_files = new RecoveryFileModel(this);
    m_fileList = rowList(left);
    m_fileList->setObjectName(QStringLiteral("recoveryFiles"));
    m_fileList->setItemDelegate(new RecoveryFileRow(themes, m_d.clock, m_fileList));
    m_fileList->setModel(m_files);
    leftLayout->addWidget(m_fileList, 1);
    leftLayout->addWidget(new Divider(themes, Qt::Horizontal, 1.0, left));
    auto* footer = new QWidget(left);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(10, 8, 12, 8);
    footerLayout->setSpacing(10);
    m_refresh = new TavrilonSecondaryButton(themes, QStringLiteral("Refresh"), QStringLiteral("arrow.clockwise"), footer);
    m_refresh->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_loading = PlainText::literal(new QLabel(loadingText, footer));
    m_loading->setFont(DashboardStyle::font(10));
    m_loading->hide();
    m_footer = PlainText::literal(new QLabel(footer));
    m_footer->setFont(DashboardStyle::font(10));
    footerLayout->addWidget(m_refresh);
    footerLayout->addWidget(m_loading);
    footerLayout->addStretch(1);
    footerLayout->addWidget(m_footer);
    leftLayout->addWidget(footer);

    // Right: the placeholder, or the selected file's revisions.
    m_right = new QStackedWidget(split);
    m_right->setMinimumWidth(380);
    auto* placeholderPage = new QWidget(m_right);
    auto* placeholderLayout = new QVBoxLayout(placeholderPage);
    placeholderLayout->addStretch(1);
    m_trayIcon = new QLabel(placeholderPage);
    m_trayIcon->setAlignment(Qt::AlignCenter);
    m_placeholder = PlainText::literal(new QLabel(placeholderPage));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_placeholder->setFont(DashboardStyle::font(12));
    placeholderLayout->addWidget(m_trayIcon);
    placeholderLayout->addWidget(m_placeholder);
    placeholderLayout->addStretch(1);
    m_right->addWidget(placeholderPage);

    auto* detail = new QWidget(m_right);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    auto* header = new QWidget(detail);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(14, 10, 14, 10);
    headerLayout->setSpacing(3);
    m_title = PlainText::literal(new QLabel(header));
    m_title->setFont(DashboardStyle::font(14, QFont::Bold));
    m_path = PlainText::literal(new QLabel(header));
    m_path->setFont(DashboardStyle::mono(10));
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setMinimumWidth(1);
    headerLayout->addWidget(m_title);
    headerLayout->addWidget(m_path);
    detailLayout->addWidget(header);
    detailLayout->addWidget(new Divider(themes, Qt::Horizontal, 1.0, detail));
    m_revisions = new RecoveryRevisionModel(this);
    m_revisionList = rowList(detail);
    m_revisionList->setObjectName(QStringLiteral("recoveryRevisions"));
    m_revisionList->setItemDelegate(new RecoveryRevisionRow(themes, m_d.clock, m_revisionList));
    m_revisionList->setModel(m_revisions);
    detailLayout->addWidget(m_revisionList, 1);
    detailLayout->addWidget(new Divider(themes, Qt::Horizontal, 1.0, detail));
    auto* actions = new QWidget(detail);
    auto* actionLayout = new QHBoxLayout(actions);
    actionLayout->setContentsMargins(14, 8, 12, 8);
    actionLayout->setSpacing(8);
    // The status line wraps wherever it must (a path has no blanks) and shows its whole text.
    m_message = new WrappedTextView(QString(), DashboardStyle::font(10.5), themes.current().textDim, INT_MAX, actions);
    m_message->setObjectName(QStringLiteral("restoreMessage"));
    m_reveal = new TavrilonSecondaryButton(themes, QStringLiteral("Show in Files"), QStringLiteral("doc.text"), actions);
    m_restore = new TavrilonSecondaryButton(themes, restoreText, QStringLiteral("arrow.uturn.backward"), actions);
    for (TavrilonSecondaryButton* b : {m_reveal, m_restore}) b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    actionLayout->addWidget(m_message, 1, Qt::AlignVCenter);
    actionLayout->addWidget(m_reveal, 0, Qt::AlignVCenter);
    actionLayout->addWidget(m_restore, 0, Qt::AlignVCenter);
    detailLayout->addWidget(actions);
    m_right->addWidget(detail);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({380, 520});

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& q) {
        m_filling = true;
        m_files->setQuery(q);
        m_filling = false;
        showSelectionInList();
    });
    connect(m_refresh, &QAbstractButton::clicked, this, &RecoveryView::reload);
    connect(m_fileList->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (m_filling || !index.isValid()) return;
        selectBucket(index.data(Qt::UserRole).toString());
    });
    connect(m_revisionList->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (m_filling || !index.isValid()) return;
        m_selectedRevision = index.data(Qt::UserRole).toString();
        refreshButtons();
    });
    connect(m_reveal, &QAbstractButton::clicked, this, &RecoveryView::revealSelected);
    connect(m_restore, &QAbstractButton::clicked, this, [this] { restoreSelected(false); });
    // "Restore…" is the window's default button: Return presses it.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* press = new QShortcut(QKeySequence(key), this);
        connect(press, &QShortcut::activated, this, [this] {
            if (m_restore->isEnabled() && m_right->currentIndex() == 1) m_restore->click();
        });
    }
    connect(&themes, &ThemeManager::currentChanged, this, [this] {
        applyColorScheme();
        update();
    });

    applyColorScheme();
    m_footer->setText(countText(0, "file"));
    refreshDetail();
}

RecoveryView::~RecoveryView()
{
    // Work still running refers to what the window was given.
    for (QFutureWatcherBase* w : findChildren<QFutureWatcherBase*>()) w->waitForFinished();
}

void RecoveryView::applyColorScheme()
{
    // The window follows the application's palette, light or dark; standard parts (the filter
    // field, scroll bars, the alert) take these roles.
    const PaletteTheme& theme = m_d.themes.current();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, theme.background);
    pal.setColor(QPalette::WindowText, theme.text);
    pal.setColor(QPalette::Base, theme.surface);
    pal.setColor(QPalette::AlternateBase, theme.surfaceElevated);
    pal.setColor(QPalette::Text, theme.text);
    pal.setColor(QPalette::BrightText, theme.textBright);
    pal.setColor(QPalette::Button, theme.surfaceElevated);
    pal.setColor(QPalette::ButtonText, theme.text);
    pal.setColor(QPalette::Highlight, withOpacity(theme.accent, 0.6));
    pal.setColor(QPalette::HighlightedText, theme.textBright);
    pal.setColor(QPalette::PlaceholderText, theme.textDim);
    pal.setColor(QPalette::Light, theme.border);
    pal.setColor(QPalette::Midlight, theme.border);
    pal.setColor(QPalette::Mid, theme.border);
    pal.setColor(QPalette::Dark, theme.background);
    pal.setColor(QPalette::Shadow, theme.background);
    pal.setColor(QPalette::ToolTipBase, theme.surfaceElevated);
    pal.setColor(QPalette::ToolTipText, theme.text);
    pal.setColor(QPalette::Disabled, QPalette::Text, theme.textDim);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, theme.textDim);
    setPalette(pal);
    for (QListView* list : {m_fileList, m_revisionList}) {
        QPalette clear = list->palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        list->setPalette(clear);
    }
    for (QLabel* dim : {m_footer, m_loading, m_placeholder, m_path}) {
        QPalette p = dim->palette();
        p.setColor(QPalette::WindowText, theme.textDim);
        dim->setPalette(p);
    }
    QPalette bright = m_title->palette();
    bright.setColor(QPalette::WindowText, theme.textBright);
    m_title->setPalette(bright);
    m_message->setColor(theme.textDim);
    const qreal dpr = devicePixelRatioF();
    m_glass->setPixmap(symbolPixmap(QStringLiteral("magnifyingglass"), 14, theme.textDim, dpr));
    m_trayIcon->setPixmap(symbolPixmap(QStringLiteral("tray"), 48, theme.textDim, dpr));
}

template <typename T>
void RecoveryView::runAsync(std::function<T()> work, std::function<void(T)> done)
{
    auto* watcher = new QFutureWatcher<T>(this);
    connect(watcher, &QFutureWatcher<T>::finished, this, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

QList<WorkRecovery::RecoverableFile> RecoveryView::filteredEntries() const { return m_files->shown(); }

const QList<WorkRecovery::RecoverableFile>& RecoveryView::entries() const { return m_files->entries(); }

const QList<WorkRecovery::SnapshotRevision>& RecoveryView::revisions() const { return m_revisions->revisions(); }

void RecoveryView::reload()
{
    if (m_listLoading) {
        // What the running listing read may already be out of date: read once more after it.
        m_listAgain = true;
        return;
    }
    startListing();
}

void RecoveryView::startListing()
{
    m_listLoading = true;
    m_listAgain = false;
    refreshButtons();
    const WorkRecovery& recovery = m_d.recovery;
    runAsync<RecoveryFileModel::Listing>(
        [&recovery] { return RecoveryFileModel::Listing::of(recovery.recoverableFiles()); },
        [this](RecoveryFileModel::Listing listing) {
            if (m_listAgain) {
                startListing();
                return;
            }
            m_listLoading = false;
            m_filling = true;
            m_files->setListing(std::move(listing));
            m_filling = false;
            m_footer->setText(countText(m_files->entries().size(), "file"));
            if (!m_selectedBucket && !m_files->entries().isEmpty()) {
                selectBucket(m_files->entries().first().id);
            } else {
                showSelectionInList();
                refreshDetail();
            }
            runPendingRestore();
        });
}

void RecoveryView::selectBucket(const std::optional<QString>& bucket)
{
    if (bucket == m_selectedBucket) return;
    m_selectedBucket = bucket;
    showSelectionInList();
    loadRevisions();
}

void RecoveryView::showSelectionInList()
{
    m_filling = true;
    const int row = m_selectedBucket ? m_files->rowOf(*m_selectedBucket) : -1;
    if (row >= 0) {
        const QModelIndex index = m_files->index(row);
        m_fileList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_fileList->scrollTo(index);
    } else {
        m_fileList->selectionModel()->clear();
    }
    m_filling = false;
}

void RecoveryView::selectRevision(const std::optional<QString>& revision)
{
    m_selectedRevision = revision;
    refreshRevisionSelection();
    refreshButtons();
}

void RecoveryView::setQuery(const QString& query) { m_filter->setText(query); }

void RecoveryView::loadRevisions()
{
    m_restoreMessage.reset();
    m_selectedRevision.reset();
    // A restore waiting for a listing was meant for the file that was selected.
    m_pendingRestore.reset();
    const quint64 load = ++m_revisionLoad;
    m_filling = true;
    m_revisions->setRevisions({});
    m_filling = false;
    refreshDetail();
    if (!m_selectedBucket) return;
    ++m_revisionLoads;
    refreshButtons();
    const WorkRecovery& recovery = m_d.recovery;
    const QString bucket = *m_selectedBucket;
    runAsync<QList<WorkRecovery::SnapshotRevision>>([&recovery, bucket] { return recovery.listRevisions(bucket); },
                                                    [this, load](QList<WorkRecovery::SnapshotRevision> revisions) {
                                                        --m_revisionLoads;
                                                        if (load == m_revisionLoad) {
                                                            m_filling = true;
                                                            m_revisions->setRevisions(std::move(revisions));
                                                            m_filling = false;
                                                            if (!m_revisions->revisions().isEmpty())
                                                                m_selectedRevision = m_revisions->revisions().first().id;
                                                            refreshDetail();
                                                        }
                                                        refreshButtons();
                                                        runPendingRestore();
                                                    });
}

void RecoveryView::restoreSelected(bool force)
{
    if (!m_selectedRevision || m_restoring) return;
    if (isLoading()) {
        m_pendingRestore = force;
        refreshButtons();
        return;
    }
    m_pendingRestore.reset();
    m_restoring = true;
    refreshButtons();
    const WorkRecovery& recovery = m_d.recovery;
    const QString revision = *m_selectedRevision;
    runAsync<WorkRecovery::RestoreResult>(
        [&recovery, revision, force] { return recovery.restoreSnapshot(revision, std::nullopt, force); },
        [this](WorkRecovery::RestoreResult result) {
            m_restoring = false;
            refreshButtons();
            handleRestore(result);
        });
}

void RecoveryView::runPendingRestore()
{
    if (!m_pendingRestore || isLoading()) return;
    const bool force = *m_pendingRestore;
    m_pendingRestore.reset();
    if (m_selectedRevision) {
        restoreSelected(force);
    } else {
        refreshButtons();
    }
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
        box->setTextFormat(Qt::PlainText);
        box->setInformativeText(QStringLiteral("Current file modified: ") + dateText(result.originalMtime) +
                                QStringLiteral("\nSnapshot captured: ") + dateText(result.snapshotMtime) +
                                QStringLiteral("\n\nRestoring will move the current file aside as a .bak and put the "
                                               "snapshot in its place."));
        box->setPalette(palette());
        auto* anyway = new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Restore Anyway"),
                                                   QStringLiteral("arrow.uturn.backward"), box);
        auto* cancel = new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Cancel"), QStringLiteral("xmark.circle"), box);
        for (TavrilonSecondaryButton* b : {anyway, cancel}) b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        box->addButton(anyway, QMessageBox::AcceptRole);
        box->addButton(cancel, QMessageBox::RejectRole);
        box->setEscapeButton(cancel);
        // The first button is the default one: Return chooses it.
        for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)})
            connect(new QShortcut(QKeySequence(key), box), &QShortcut::activated, anyway, &QAbstractButton::click);
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

QString RecoveryView::statusText() const { return m_message->text(); }

QString RecoveryView::placeholderText() const { return m_right->currentIndex() == 0 ? m_placeholder->text() : QString(); }

QMessageBox* RecoveryView::alert() const { return m_alert; }

void RecoveryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reload();
}

void RecoveryView::refreshDetail()
{
    const WorkRecovery::RecoverableFile* shown = m_selectedBucket ? m_files->find(*m_selectedBucket) : nullptr;
    if (!shown) {
        m_placeholder->setText(m_files->entries().isEmpty() ? emptyText : selectText);
        m_right->setCurrentIndex(0);
        refreshButtons();
        return;
    }
    m_title->setText(QFileInfo(shown->originalPath).fileName());
    m_path->setText(shown->originalPath);
    m_path->setToolTip(PlainText::toolTip(shown->originalPath));
    m_message->setText(m_restoreMessage.value_or(QString()));
    m_message->setVisible(m_restoreMessage.has_value());
    refreshRevisionSelection();
    refreshButtons();
    m_right->setCurrentIndex(1);
}

void RecoveryView::refreshRevisionSelection()
{
    m_filling = true;
    const int row = m_selectedRevision ? m_revisions->rowOf(*m_selectedRevision) : -1;
    if (row >= 0) {
        m_revisionList->selectionModel()->setCurrentIndex(m_revisions->index(row), QItemSelectionModel::ClearAndSelect);
    } else {
        m_revisionList->selectionModel()->clear();
    }
    m_filling = false;
}

void RecoveryView::refreshButtons()
{
    // While a restore runs, or waits for a listing to finish, its button says so.
    const bool restoring = m_restoring || m_pendingRestore.has_value();
    m_restore->setText(restoring ? restoringText : restoreText);
    m_restore->setSystemImage(restoring ? QStringLiteral("hourglass") : QStringLiteral("arrow.uturn.backward"));
    m_restore->setEnabled(m_selectedRevision.has_value() && !restoring);
    m_reveal->setEnabled(m_selectedRevision.has_value());
    m_loading->setVisible(m_listLoading);
    if (isBusy()) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}
