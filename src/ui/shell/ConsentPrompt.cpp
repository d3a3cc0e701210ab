#include "ui/shell/ConsentPrompt.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

std::optional<bool> askConsent(const TelemetryCollector::ConsentQuestion& question)
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("consentPrompt"));
    box.setIcon(QMessageBox::Information);
    box.setText(question.message);
    box.setInformativeText(question.informative);
    QPushButton* first = box.addButton(question.firstButton, QMessageBox::AcceptRole);
    QPushButton* second = box.addButton(question.secondButton, QMessageBox::RejectRole);
    box.setDefaultButton(question.firstIsDefault ? first : second);
    box.setEscapeButton(second);
    // Only a button the user pressed (or Escape, which presses the second) answers: windows
    // closed by a quit leave the question unanswered.
    QAbstractButton* answered = nullptr;
    QObject::connect(&box, &QMessageBox::buttonClicked, &box, [&answered](QAbstractButton* button) { answered = button; });
    box.exec();
    if (!answered) return std::nullopt;
    return answered == first;
}
