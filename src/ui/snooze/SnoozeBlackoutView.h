#pragma once

#include "guards/SnoozeTypes.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class FrameTicker;
class QPlainTextEdit;
class SnoozePillButton;

// The blackout: an opaque black screen that tells the user to stop, lets them type why they must
// go on, asks the remote coach once and shows its verdict, with the compromise button when the
// coach granted minutes. It moves one way: typing, then waiting, then the verdict.
class SnoozeBlackoutView final : public QWidget {
    Q_OBJECT
public:
    using RequestCompromise = std::function<void(const QString& text, BlackoutVerdictSource::Completion completion)>;
    using AcceptCompromise = std::function<void(int minutes)>;

    // `addressee`: the user's first name (none: the headline names no one).
    SnoozeBlackoutView(const QString& reason, RequestCompromise requestCompromise, AcceptCompromise acceptCompromise,
                       const QString& addressee = QString(), QWidget* parent = nullptr);

    const QString& reason() const { return m_reason; }
    const QString& headline() const { return m_headline; }
    static QString headlineText(const QString& addressee);
    bool awaitingAI() const { return m_awaiting; }
    const std::optional<BlackoutVerdict>& verdict() const { return m_verdict; }
    QPlainTextEdit* editor() const { return m_editor; }
    static QString footnoteText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class Panel { explanation, awaiting, verdict };
    struct Layout;

    Panel panel() const;
    Layout layout() const;
    void placeChildren();
    void ask();
    void receive(const BlackoutVerdict& verdict);

    QString m_reason;
    QString m_headline;
    RequestCompromise m_requestCompromise;
    AcceptCompromise m_acceptCompromise;
    bool m_awaiting = false;
    std::optional<BlackoutVerdict> m_verdict;
    double m_phase = 0;    // seconds into the symbol's pulse
    double m_spinner = 0;  // seconds the progress indicator has turned
    QPlainTextEdit* m_editor;
    SnoozePillButton* m_askButton;
    SnoozePillButton* m_acceptButton = nullptr;
    FrameTicker* m_ticker;
};
