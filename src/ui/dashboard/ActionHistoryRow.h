#pragma once

#include "core/Models.h"

#include <QWidget>

class SymbolView;
class TagView;
class TextView;
class ThemeManager;
class WrappedTextView;

// One recorded action: its kind's symbol in the kind's colour, the kind's name with an "AUTO"
// tag when the application acted by itself, target and detail, and the time and date.
class ActionHistoryRow : public QWidget {
    Q_OBJECT
public:
    ActionHistoryRow(const ActionRecord& action, ThemeManager& themes, QWidget* parent = nullptr);

    const ActionRecord& action() const { return m_action; }
    SymbolView* typeIcon() const { return m_icon; }
    TextView* title() const { return m_title; }
    // Null when the action was the user's.
    TagView* autoTag() const { return m_tag; }
    WrappedTextView* subtitle() const { return m_subtitle; }
    TextView* timeText() const { return m_time; }
    TextView* dateText() const { return m_date; }

private:
    ActionRecord m_action;
    SymbolView* m_icon;
    TextView* m_title;
    TagView* m_tag = nullptr;
    WrappedTextView* m_subtitle;
    TextView* m_time;
    TextView* m_date;
};
