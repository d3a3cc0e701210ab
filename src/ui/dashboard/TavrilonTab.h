#pragma once

class ActionGate;
class QWidget;
class TavrilonChatController;
class ThemeManager;

// What the Tavrilon tab's chat is shown with.
struct TavrilonTabDeps {
    ThemeManager& themes;
    ActionGate& gate;
    // The conversation. It lives as long as the application: leaving the tab, changing the
    // palette or closing the window keeps it, and a reply still on its way arrives in it.
    TavrilonChatController& chat;
};

// The content of the Tavrilon tab: a chat view over the application's one conversation.
QWidget* makeTavrilonTab(const TavrilonTabDeps& deps, QWidget* parent);
