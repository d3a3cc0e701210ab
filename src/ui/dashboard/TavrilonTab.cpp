#include "ui/dashboard/TavrilonTab.h"

#include "assistant/TavrilonChatController.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/theme/ThemeManager.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// A plain transcript and an input line over a fresh controller, until the chat view lands.
class TavrilonTabView : public QWidget {
public:
    TavrilonTabView(const TavrilonTabDeps& deps, QWidget* parent)
        : QWidget(parent), m_controller(new TavrilonChatController(deps.gate, deps.router, deps.services, this))
    {
        setObjectName(QStringLiteral("tavrilonTab"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->setSpacing(12);
        auto* scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        m_transcript = new QLabel(scroll);
        m_transcript->setObjectName(QStringLiteral("transcript"));
        m_transcript->setWordWrap(true);
        m_transcript->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        m_transcript->setTextFormat(Qt::PlainText);
        m_transcript->setFont(DashboardStyle::font(13));
        m_transcript->setTextInteractionFlags(Qt::TextSelectableByMouse);
        scroll->setWidget(m_transcript);
        layout->addWidget(scroll, 1);

        m_input = new QLineEdit(this);
        m_input->setObjectName(QStringLiteral("input"));
        m_input->setFont(DashboardStyle::font(13));
        layout->addWidget(m_input);
        connect(m_input, &QLineEdit::returnPressed, this, [this] {
            const QString text = m_input->text().trimmed();
            if (text.isEmpty()) return;
            m_input->clear();
            m_controller->send(text);
        });
        connect(m_controller, &TavrilonChatController::messagesChanged, this, [this] { showMessages(); });
        showMessages();
    }

private:
    void showMessages()
    {
        QStringList lines;
        for (const ChatMessage& m : m_controller->messages()) {
            const QString who = m.role == ChatMessage::Role::user ? QStringLiteral("You") : QStringLiteral("Tavrilon");
            lines << who + QStringLiteral(": ") + m.text;
        }
        m_transcript->setText(lines.join(QStringLiteral("\n\n")));
    }

    TavrilonChatController* m_controller;
    QLabel* m_transcript = nullptr;
    QLineEdit* m_input = nullptr;
};

}  // namespace

QWidget* makeTavrilonTab(const TavrilonTabDeps& deps, QWidget* parent)
{
    return new TavrilonTabView(deps, parent);
}
