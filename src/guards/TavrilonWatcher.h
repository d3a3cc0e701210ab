#pragma once

#include "core/Lifecycle.h"
#include "core/Scheduler.h"
#include "core/TavrilonWatchTarget.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class Clock;
class SerialQueue;

// Keeps the folders the user assigned tidy: once an hour it sweeps every folder whose interval
// has passed. A sweep moves loose files that have rested two minutes into category folders of
// the same folder, by extension or by the assistant's one-word answer, and moves a file whose
// contents equal those of a file met earlier in the sweep to the Trash. Each sweep's outcome
// is recorded on the folder's entry in the settings.
//
// Sweeps run one at a time on the watcher's own worker; they never follow a link, never
// replace a file and never touch anything below the assigned folder's sub-folders.
class TavrilonWatcher final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds checkInterval{3600};
    static constexpr int64_t restingSeconds = 120;
    static constexpr qint64 fingerprintBytes = 65536;

    // Asks the assistant's model one question on the main thread; `done` receives the reply
    // text, or nothing when there is no answer.
    using AskModel = std::function<void(const QString& prompt, std::function<void(std::optional<QString>)> done)>;

    struct Collaborators {
        AppSettings& settings;
        Scheduler& scheduler;
        const Clock& clock;
        AskModel askModel;
    };

    explicit TavrilonWatcher(Collaborators c, QObject* parent = nullptr);
    ~TavrilonWatcher() override;
    static TavrilonWatcher& shared();

    void start() override { startWatching(); }
    void stop() override { stopWatching(); }
    void startWatching();
    void stopWatching();
    // The due check; the hourly timer's handler.
    void sweepDueTargets();

    bool isRunning() const { return m_isRunning; }
    std::optional<QDateTime> lastTickAt() const { return m_lastTickAt; }
    bool isSweeping() const { return m_sweeping; }

    // Lowercased extension to category word.
    static const QHash<QString, QString>& extensionCategories();
    static const QStringList& allowedCategories();
    static QString categoryPrompt(const QString& fileName);
    // The category word of a model's reply: its first word, when that is one of the six.
    static std::optional<QString> categoryFromReply(const QString& reply);
    // "Sorted N file(s)[, trashed M duplicate(s)]" or "Already tidy".
    static QString outcomeText(int sorted, int trashed);

Q_SIGNALS:
    void changed();
    // A sweep's outcomes have been recorded.
    void sweepFinished();

private:
    struct Sweep;
    void recordOutcomes(const QList<QPair<QUuid, QString>>& results);
    // On the worker: the model's category for a file, asked on the main thread.
    std::optional<QString> askModelForCategory(const QString& fileName);

    Collaborators m_c;
    WorkHandle m_timer;
    bool m_isRunning = false;
    bool m_sweeping = false;
    std::optional<QDateTime> m_lastTickAt;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    // Declared last: destroyed first, after the destructor has told a running sweep to end.
    std::unique_ptr<SerialQueue> m_worker;
};
