#include "ui/shell/ConsentPrompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

// Asks the question and presses `key` on the box once it shows.
std::optional<bool> answerWith(bool euRegion, Qt::Key key)
{
    QTimer::singleShot(0, [key] {
        QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), QStringLiteral("consentPrompt"));
        QTest::keyClick(box, key);
    });
    return askConsent(TelemetryCollector::consentQuestion(euRegion));
}

}  // namespace

// Enter keeps the regional default: it never opts in where sharing starts off.
TEST(ConsentPrompt, EnterKeepsTheDefaultAndEscapeDeclines)
{
    EXPECT_EQ(answerWith(true, Qt::Key_Return), false);
    EXPECT_EQ(answerWith(false, Qt::Key_Return), true);
    EXPECT_EQ(answerWith(false, Qt::Key_Escape), false);
}
