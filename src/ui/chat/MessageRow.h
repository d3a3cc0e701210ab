#pragma once

#include "assistant/ChatMessage.h"
#include "ui/theme/PaletteTheme.h"

#include <QWidget>

class QLabel;
class QPushButton;

// One message of the chat: the bubble on the speaker's side, its Undo button and the label
// of the backend that answered, when the message has them.
class MessageRow : public QWidget {
    Q_OBJECT
public:
    MessageRow(ChatMessage message, const PaletteTheme& theme, QWidget* parent = nullptr);

    const ChatMessage& message() const { return m_message; }
    void setTheme(const PaletteTheme& theme);

    QLabel* bubble() const { return m_bubble; }
    QPushButton* undoButton() const { return m_undo; }  // null without an undo
    QLabel* backendLabel() const { return m_label; }    // null without a label

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void undo();
    void fitBubble();

    ChatMessage m_message;
    QLabel* m_bubble = nullptr;
    QPushButton* m_undo = nullptr;
    QLabel* m_label = nullptr;
};
