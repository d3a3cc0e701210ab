#pragma once

#include <QString>

// The answer to a request to arm YOLO mode.
class ArmResult {
public:
    enum class Kind { notEligible, needsMoreConfirmations, armed, wrongPassword };

    static ArmResult notEligible(QString label) { return ArmResult(Kind::notEligible, std::move(label), 0); }
    static ArmResult needsMoreConfirmations(int missing) { return ArmResult(Kind::needsMoreConfirmations, {}, missing); }
    static ArmResult armed() { return ArmResult(Kind::armed, {}, 0); }
    static ArmResult wrongPassword() { return ArmResult(Kind::wrongPassword, {}, 0); }

    Kind kind() const { return m_kind; }
    // notEligible: the label of the backend that answered last ("unknown" when none was stored).
    const QString& label() const { return m_label; }
    // needsMoreConfirmations: how many confirmations are still missing.
    int missingConfirmations() const { return m_missing; }

    friend bool operator==(const ArmResult&, const ArmResult&) = default;

private:
    ArmResult(Kind kind, QString label, int missing) : m_kind(kind), m_label(std::move(label)), m_missing(missing) {}
    Kind m_kind;
    QString m_label;
    int m_missing;
};
