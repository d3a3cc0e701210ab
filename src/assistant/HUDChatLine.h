#pragma once

#include <QString>
#include <QUuid>

// One line of the HUD's mini chat. Only the gate-notice flag may change after it is made.
struct HUDChatLine {
    QUuid id = QUuid::createUuid();
    bool isUser = false;
    QString text;
    bool isGateNotice = false;

    static HUDChatLine user(QString text) { return HUDChatLine{QUuid::createUuid(), true, std::move(text), false}; }
    static HUDChatLine reply(QString text) { return HUDChatLine{QUuid::createUuid(), false, std::move(text), false}; }
    static HUDChatLine gateNotice(QString text) { return HUDChatLine{QUuid::createUuid(), false, std::move(text), true}; }
};
