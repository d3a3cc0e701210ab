#pragma once

#include <QString>
#include <functional>
#include <optional>

// Asking the notification service for permission at launch. The completion carries an error
// text when the request itself failed.
class NotificationAuthorizer {
public:
    virtual ~NotificationAuthorizer() = default;
    virtual void requestAuthorization(std::function<void(std::optional<QString> error)> completion) = 0;
};
