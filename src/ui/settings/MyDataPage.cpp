#include "core/ByteCountFormatter.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsServices.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace {

QString homeShortened(const QString& path)
{
    QString shown = path;
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/")) shown.replace(home, QStringLiteral("~"));
    return shown;
}

class MyDataPage : public SettingsPage {
public:
    MyDataPage(const SettingsEnvironment& env, SettingsViewState& state, UpdateFeed& updates, UserDataFeed& data)
        : SettingsPage(env, state), m_updates(updates), m_data(data)
    {
        refreshOn(&updates, &UpdateFeed::changed);
        refreshOn(&data, &UserDataFeed::changed);
        rows()->addWidget(new SectionHeader(QStringLiteral("My Data"), QStringLiteral("externaldrive.badge.person.crop")));

        // Updates.
        auto* update = new SettingsCard(12);
        auto* check = new QPushButton;
        SettingsStyle::themedButton(check);
        check->setObjectName(QStringLiteral("checkForUpdates"));
        onRefresh([check, &updates] {
            const bool checking = updates.state().kind == UpdateStateView::Kind::checking;
            check->setText(checking ? QStringLiteral("Checking\u2026") : QStringLiteral("Check for Updates"));
            check->setEnabled(!checking);
        });
        connect(check, &QPushButton::clicked, this, [&updates] { updates.fetchLatestRelease(); });
        const QString version = env.appVersion.isEmpty() ? QStringLiteral("unknown") : env.appVersion;
        update->content()->addWidget(
            controlRow(settingsToggleLabel(QStringLiteral("Version"), QStringLiteral("Veltranmoor ") + version), check));
        update->content()->addWidget(rebuilt(0, [this, &updates](QWidget* host, QVBoxLayout* column) {
            const UpdateStateView s = updates.state();
            auto line = [&](QWidget* dotOrNull, const QString& t, const QFont& f, const QColor& c) {
                auto* row = new QWidget(host);
                row->setObjectName(QStringLiteral("updateStatus"));
                auto* h = new QHBoxLayout(row);
                h->setContentsMargins(0, 0, 0, 0);
                h->setSpacing(6);
                if (dotOrNull) {
                    dotOrNull->setParent(row);
                    h->addWidget(dotOrNull);
                }
                QLabel* label = makeText(t, f, c, true, row);
                label->setObjectName(QStringLiteral("updateStatusText"));
                h->addWidget(label, 1);
                return row;
            };
            switch (s.kind) {
            case UpdateStateView::Kind::idle: break;
            case UpdateStateView::Kind::checking:
                column->addWidget(line(nullptr, QStringLiteral("Asking the release feed\u2026"), sysFont(11), gray));
                break;
            case UpdateStateView::Kind::upToDate:
                column->addWidget(line(new StatusDot(green, nullptr),
                                       QStringLiteral("You're on the current version (") + s.current + QStringLiteral(")."),
                                       sysFont(11), gray));
                break;
            case UpdateStateView::Kind::updateAvailable: {
                column->setSpacing(8);
                column->addWidget(line(new StatusDot(accent(), nullptr),
                                       QStringLiteral("Version ") + s.latest + QStringLiteral(" is out. You have ") +
                                           s.current + QStringLiteral("."),
                                       sysFont(11, QFont::Medium), accent()));
                auto* open = new QPushButton(QStringLiteral("Open Download Page"), host);
                SettingsStyle::themedButton(open);
                open->setObjectName(QStringLiteral("openDownloadPage"));
                connect(open, &QPushButton::clicked, this, [&updates] { updates.openDownloadPage(); });
                column->addWidget(open, 0, Qt::AlignLeft);
                break;
            }
            case UpdateStateView::Kind::failed:
                column->addWidget(line(nullptr, QStringLiteral("Couldn't check: ") + s.message, sysFont(11),
                                       withOpacity(red, 0.85)));
                break;
            }
        }));
        rows()->addWidget(update);

        // What is stored.
        auto* stored = new SettingsCard(14);
        QLabel* size = makeText(QString(), mono(13, QFont::Bold), Qt::white);
        size->setObjectName(QStringLiteral("storedBytes"));
        onRefresh([this, size] {
            size->setText(formatByteCount(qint64(std::min<quint64>(this->state().storedBytes, INT64_MAX))));
            setInk(size, QPalette::WindowText, accent());
        });
        stored->content()->addWidget(controlRow(
            settingsToggleLabel(QStringLiteral("Stored on This Computer"),
                                QStringLiteral("Performance history, maintenance runs, and learned baselines. All of it "
                                               "lives on your machine.")),
            size));
        stored->content()->addWidget(divider());
        auto* buttons = new QWidget;
        auto* buttonRow = new QHBoxLayout(buttons);
        buttonRow->setContentsMargins(0, 0, 0, 0);
        buttonRow->setSpacing(10);
        auto* exportButton = new QPushButton(QStringLiteral("Export My Data\u2026"), buttons);
        SettingsStyle::themedButton(exportButton);
        exportButton->setObjectName(QStringLiteral("exportMyData"));
        connect(exportButton, &QPushButton::clicked, this, [this, &data] { data.exportMyData(window()); });
        auto* reveal = new QPushButton(QStringLiteral("Show in Files"), buttons);
        SettingsStyle::themedButton(reveal);
        reveal->setObjectName(QStringLiteral("revealStoredData"));
        connect(reveal, &QPushButton::clicked, this, [&data] { data.revealStoredData(); });
        buttonRow->addWidget(exportButton);
        buttonRow->addWidget(reveal);
        buttonRow->addStretch(1);
        stored->content()->addWidget(buttons);
        stored->content()->addWidget(makeText(QStringLiteral("Export writes a JSON file wherever you choose. It is not uploaded "
                                                         "anywhere, and your API key is redacted from it."),
                                          sysFont(10), gray, true));
        rows()->addWidget(stored);

        // Restore and clear.
        auto* reset = new SettingsCard(14);
        auto* restore = new QPushButton(QStringLiteral("Restore\u2026"));
        SettingsStyle::themedButton(restore);
        restore->setObjectName(QStringLiteral("restoreButton"));
        connect(restore, &QPushButton::clicked, this, [this] { confirmRestore(); });
        reset->content()->addWidget(controlRow(settingsToggleLabel(QStringLiteral("Restore Default Settings"),
                                                                   QStringLiteral("Puts every preference back to how it "
                                                                                  "ships.")),
                                               restore));
        reset->content()->addWidget(divider());
        auto* clear = new QPushButton(QStringLiteral("Clear\u2026"));
        SettingsStyle::themedButton(clear);
        clear->setObjectName(QStringLiteral("clearButton"));
        connect(clear, &QPushButton::clicked, this, [this] { confirmClear(); });
        reset->content()->addWidget(controlRow(settingsToggleLabel(QStringLiteral("Clear Collected Data"),
                                                                   QStringLiteral("Moves the history and learned baselines "
                                                                                  "to the Trash. Settings stay as they "
                                                                                  "are.")),
                                               clear));
        QLabel* last = makeText(QString(), sysFont(10), Qt::white, true);
        last->setObjectName(QStringLiteral("lastAction"));
        onRefresh([this, last, &data] {
            last->setText(data.lastAction());
            last->setVisible(!data.lastAction().isEmpty());
            setInk(last, QPalette::WindowText, accent());
        });
        reset->content()->addWidget(last);
        rows()->addWidget(reset);

        // Uninstall.
        auto* uninstall = new SettingsCard(12);
        uninstall->content()->addWidget(settingsToggleLabel(
            QStringLiteral("Uninstall Veltranmoor"),
            QStringLiteral("Moves the app and everything it wrote to the Trash, then quits. Nothing is destroyed \u2014 if "
                           "you change your mind it is all still in the Trash.")));
        uninstall->content()->addWidget(rebuilt(12, [&data](QWidget* host, QVBoxLayout* column) {
            for (const QString& path : data.storedItemPaths()) {
                const QString shown = QStringLiteral("\u00B7 ") + homeShortened(path);
                QLabel* line = makeText(shown, mono(10), gray, false, host);
                line->setObjectName(QStringLiteral("storedItem"));
                line->setToolTip(shown);
                line->setMinimumWidth(40);
                line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
                line->setText(line->fontMetrics().elidedText(shown, Qt::ElideMiddle, 460));
                column->addWidget(line);
            }
        }));
        auto* uninstallButton = new QPushButton(QStringLiteral("Uninstall\u2026"));
        SettingsStyle::themedButton(uninstallButton);
        uninstallButton->setObjectName(QStringLiteral("uninstallButton"));
        connect(uninstallButton, &QPushButton::clicked, this, [this] { confirmUninstall(); });
        uninstall->content()->addWidget(uninstallButton, 0, Qt::AlignRight);
        rows()->addWidget(uninstall);

        // The stored size is counted off the main thread and shown when it is known.
        QPointer<MyDataPage> self(this);
        data.storedDataSize([self](quint64 bytes) {
            if (!self) return;
            self->state().storedBytes = bytes;
            self->refresh();
        });
    }

private:
    // A confirmation: "Cancel" first and the destructive button second; `act` only on the second.
    void confirm(bool SettingsViewState::*flag, const QString& title, const QString& message, const QString& action,
                 std::function<void()> act)
    {
        state().*flag = true;
        auto* box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::NoButton, this);
        box->setObjectName(QStringLiteral("confirmation"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        SettingsStyle::themedButton(cancel);
        QPushButton* go = box->addButton(action, QMessageBox::DestructiveRole);
        SettingsStyle::themedButton(go);
        go->setObjectName(QStringLiteral("destructiveButton"));
        cancel->setObjectName(QStringLiteral("cancelButton"));
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
        QPointer<MyDataPage> self(this);
        connect(box, &QMessageBox::buttonClicked, this, [self, go, flag, act](QAbstractButton* clicked) {
            if (!self) return;
            self->state().*flag = false;
            if (clicked == go) act();
        });
        connect(box, &QDialog::rejected, this, [self, flag] {
            if (self) self->state().*flag = false;
        });
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }

    void confirmRestore()
    {
        confirm(&SettingsViewState::confirmRestore, QStringLiteral("Restore default settings?"),
                QStringLiteral("Every preference goes back to its shipped value. This cannot be undone."),
                QStringLiteral("Restore"), [this] { m_data.resetSettings(); });
    }
    void confirmClear()
    {
        QPointer<MyDataPage> self(this);
        confirm(&SettingsViewState::confirmClear, QStringLiteral("Clear collected data?"),
                QStringLiteral("Performance history, maintenance runs, and learned baselines go to the Trash. You can "
                               "recover them from there if you want them back."),
                QStringLiteral("Move to Trash"), [this, self] {
                    UserDataFeed& data = m_data;
                    data.clearStoredData([self, &data] {
                        if (!self) return;
                        data.storedDataSize([self](quint64 bytes) {
                            if (!self) return;
                            self->state().storedBytes = bytes;
                            self->refresh();
                        });
                    });
                });
    }
    void confirmUninstall()
    {
        confirm(&SettingsViewState::confirmUninstall, QStringLiteral("Uninstall Veltranmoor?"),
                QStringLiteral("The app and its data move to the Trash and Veltranmoor quits. Nothing is permanently "
                               "deleted \u2014 empty the Trash yourself when you're sure."),
                QStringLiteral("Uninstall & Quit"), [this] { m_data.uninstallApp(); });
    }

    UpdateFeed& m_updates;
    UserDataFeed& m_data;
};

}  // namespace

SettingsPage* makeMyDataPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    if (!env.updates || !env.userData) return nullptr;
    return new MyDataPage(env, state, *env.updates, *env.userData);
}
