#pragma once

#include "actions/Epitope.h"
#include "actions/SampleResult.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <optional>

class Clock;

// Which kinds of action really help on this machine: every measured result is fed in under
// the action kind's id, and the library is saved after each one. Main thread only.
class EpitopeLibrary : public QObject {
    Q_OBJECT
public:
    static QString fileName() { return QStringLiteral("epitopes.json"); }

    // Loads `directory`/epitopes.json (the AI folder by default); a missing, damaged or
    // wrong-typed file gives an empty library.
    explicit EpitopeLibrary(const Clock& clock, QString directory = QString(), QObject* parent = nullptr);

    static EpitopeLibrary& shared();

    const QMap<QString, Epitope>& epitopes() const { return m_epitopes; }
    std::optional<Epitope> epitope(const QString& id) const;
    // The last recorded outcome when it was a success; empty otherwise and at every launch.
    const std::optional<MeasuredOutcome>& heroDelta() const { return m_heroDelta; }
    // Highest success rate first.
    QList<Epitope> sortedEpitopes() const;

    // An outcome of an action the application started on its own.
    void recordMeasuredAction(const QString& id, const QString& displayName, OutcomeMetric metric,
                              const SampleResult& result);
    // An outcome of an action the user started; its success can bring a retired kind back.
    void recordManualAction(const QString& id, const QString& displayName, OutcomeMetric metric,
                            const SampleResult& result);
    // After the user reverted the change the hero card showed.
    void clearHeroDelta();

    QString filePath() const;

Q_SIGNALS:
    void epitopesChanged();
    void heroDeltaChanged();

private:
    enum class Origin { automatic, manual };
    void record(Origin origin, const QString& id, const QString& displayName, OutcomeMetric metric,
                const SampleResult& result);
    void setHeroDelta(std::optional<MeasuredOutcome> hero);
    void loadEpitopes();
    void saveEpitopes() const;

    const Clock& m_clock;
    QString m_directory;
    QMap<QString, Epitope> m_epitopes;
    std::optional<MeasuredOutcome> m_heroDelta;
};
