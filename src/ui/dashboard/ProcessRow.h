#pragma once

#include "core/Models.h"

#include <QWidget>

class ProcessActions;
class SymbolButton;
class SymbolView;
class TextView;

// One process of the latest sample, in the six columns of the Processes tab, with its throttle
// and kill buttons (a lock instead for a protected process).
class ProcessRow : public QWidget {
    Q_OBJECT
public:
    ProcessRow(const ProcessInfoItem& process, ProcessActions& actions, QWidget* parent = nullptr);

    const ProcessInfoItem& process() const { return m_process; }
    TextView* cpuText() const { return m_cpu; }
    TextView* memoryText() const { return m_memory; }
    TextView* statusText() const { return m_status; }
    // Null for a protected process.
    SymbolButton* throttleButton() const { return m_throttle; }
    SymbolButton* killButton() const { return m_kill; }
    SymbolView* lock() const { return m_lock; }
    SymbolView* shield() const { return m_shield; }

    void throttle();
    void kill();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ProcessInfoItem m_process;
    ProcessActions& m_actions;
    bool m_highlighted = false;
    TextView* m_cpu;
    TextView* m_memory;
    TextView* m_status;
    SymbolButton* m_throttle = nullptr;
    SymbolButton* m_kill = nullptr;
    SymbolView* m_lock = nullptr;
    SymbolView* m_shield = nullptr;
};
