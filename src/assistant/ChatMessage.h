#pragma once

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

// One line of the dashboard chat.
struct ChatMessage {
    enum class Role { user, tavrilon, system };

    QUuid id = QUuid::createUuid();
    Role role = Role::system;
    QString text;
    // Only on the result line of a reversible action that ran at once (the row's Undo button).
    std::function<void()> undo;
    // "on-device" on direct parser answers, the backend's label on model answers.
    std::optional<QString> backendLabel;
};
