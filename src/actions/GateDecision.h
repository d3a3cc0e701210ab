#pragma once

#include <QString>
#include <QStringList>

// The gate's answer for one action. Only the allow kinds let a caller run the action; on the
// three others the caller shows the warning or block and counts it with noteWarning.
class GateDecision {
public:
    enum class Kind { warnFirst, warnFinal, blockedNeedsYolo, allowYolo, allowFree, allowWithUndo };

    static GateDecision warnFirst(QStringList concerns, QStringList saferAlternatives)
    {
        return GateDecision(Kind::warnFirst, std::move(concerns), std::move(saferAlternatives), {});
    }
    static GateDecision warnFinal(QStringList concerns, QStringList saferAlternatives)
    {
        return GateDecision(Kind::warnFinal, std::move(concerns), std::move(saferAlternatives), {});
    }
    static GateDecision blockedNeedsYolo(QString reason) { return GateDecision(Kind::blockedNeedsYolo, {}, {}, std::move(reason)); }
    static GateDecision allowYolo(QStringList concerns) { return GateDecision(Kind::allowYolo, std::move(concerns), {}, {}); }
    static GateDecision allowFree() { return GateDecision(Kind::allowFree, {}, {}, {}); }
    static GateDecision allowWithUndo() { return GateDecision(Kind::allowWithUndo, {}, {}, {}); }

    Kind kind() const { return m_kind; }
    // warnFirst, warnFinal, allowYolo.
    const QStringList& concerns() const { return m_concerns; }
    // warnFirst, warnFinal.
    const QStringList& saferAlternatives() const { return m_saferAlternatives; }
    // blockedNeedsYolo.
    const QString& reason() const { return m_reason; }

    // warnFirst, warnFinal or blockedNeedsYolo: not to be run; count it with noteWarning.
    bool isWarningOrBlock() const
    {
        return m_kind == Kind::warnFirst || m_kind == Kind::warnFinal || m_kind == Kind::blockedNeedsYolo;
    }

    friend bool operator==(const GateDecision&, const GateDecision&) = default;

private:
    GateDecision(Kind kind, QStringList concerns, QStringList saferAlternatives, QString reason)
        : m_kind(kind), m_concerns(std::move(concerns)), m_saferAlternatives(std::move(saferAlternatives)),
          m_reason(std::move(reason)) {}

    Kind m_kind;
    QStringList m_concerns;
    QStringList m_saferAlternatives;
    QString m_reason;
};
