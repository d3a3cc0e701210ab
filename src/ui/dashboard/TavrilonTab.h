#pragma once

#include "assistant/AssistantServices.h"

class ActionGate;
class ModelRouter;
class QWidget;
class ThemeManager;

// What the Tavrilon tab's chat is built with.
struct TavrilonTabDeps {
    ThemeManager& themes;
    ActionGate& gate;
    ModelRouter& router;
    AssistantServices services;
};

// The content of the Tavrilon tab, built anew each time the tab is selected: a new chat
// controller, so each visit starts a new conversation with only the welcome line.
QWidget* makeTavrilonTab(const TavrilonTabDeps& deps, QWidget* parent);
