#include "ui/dashboard/TavrilonTab.h"

#include "ui/chat/TavrilonChatView.h"

QWidget* makeTavrilonTab(const TavrilonTabDeps& deps, QWidget* parent)
{
    return new TavrilonChatView(deps.themes, deps.gate, deps.chat, parent);
}
