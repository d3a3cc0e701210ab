#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>
#include <QTimer>
#include <QWidget>

class SymbolView;
class TextView;
class WrappedTextView;
class ThemeManager;

// A row's button: its label, or a small spinner while a maintenance task runs; accent-filled
// when it can be pressed.
class MaintenanceActionButton : public QAbstractButton {
    Q_OBJECT
public:
    MaintenanceActionButton(const QString& label, ThemeManager& themes, QWidget* parent = nullptr);

    bool showsSpinner() const { return m_working; }
    void setWorking(bool working);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void syncSpinner();

    ThemeBinding m_theme;
    bool m_working = false;
    int m_step = 0;
    QTimer m_spin;
};

// One repair of the Maintenance tab: symbol, title (with a shield when it asks for the
// administrator password), a two-line subtitle, and its button. The row keeps no state of its
// own; the view sets what it shows.
class MaintenanceActionRow : public QWidget {
    Q_OBJECT
public:
    MaintenanceActionRow(const QString& icon, const QString& title, const QString& subtitle, const QString& actionLabel,
                         bool isAuthRequired, ThemeManager& themes, QWidget* parent = nullptr);

    void setSubtitle(const QString& subtitle);
    // isWorking shows the spinner; enabled decides whether the button can be pressed.
    void setState(bool isWorking, bool enabled);

    QString title() const;
    QString subtitle() const;
    bool hasLock() const { return m_lock != nullptr; }
    TextView* authNote() const { return m_authNote; }
    MaintenanceActionButton* button() const { return m_button; }
    WrappedTextView* subtitleView() const { return m_subtitle; }

Q_SIGNALS:
    void triggered();

private:
    void recolour();

    ThemeManager& m_themes;
    SymbolView* m_icon;
    TextView* m_title;
    SymbolView* m_lock = nullptr;
    TextView* m_authNote = nullptr;
    WrappedTextView* m_subtitle;
    MaintenanceActionButton* m_button;
    bool m_enabled = true;
};
