#include "ui/settings/SettingsPage.h"

#include "core/AppSettings.h"
#include "ui/dashboard/Divider.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/theme/TavrilonToggle.h"
#include "ui/theme/ThemeManager.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

SettingsPage::SettingsPage(const SettingsEnvironment& env, SettingsViewState& state, QWidget* parent)
    : QWidget(parent), m_env(env), m_state(state)
{
    m_rows = new QVBoxLayout(this);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(20);
    m_rows->setAlignment(Qt::AlignTop);
    refreshOn(&env.settings, &AppSettings::changed);
    refreshOn(&env.themeManager, &ThemeManager::currentChanged);
    // The page's buttons (and its dialogs') take the palette's look.
    const auto styleButtons = [this] {
        SettingsStyle::publishThemedButtonSheet(this, m_env.themeManager.current());
    };
    styleButtons();
    connect(&env.themeManager, &ThemeManager::currentChanged, this, styleButtons);
}

void SettingsPage::refresh()
{
    if (m_refreshing) return;
    m_refreshing = true;
    ++m_refreshes;
    for (const auto& update : m_updates) update();
    m_refreshing = false;
}

void SettingsPage::write(const std::function<void()>& store)
{
    // A store that announces its change has refreshed the page already; one that does not
    // (or announces it later) gets one refresh here.
    const quint64 before = m_refreshes;
    store();
    if (m_refreshes == before) refresh();
}

void SettingsPage::onRefresh(std::function<void()> update)
{
    const bool was = m_refreshing;
    m_refreshing = true;
    update();
    m_refreshing = was;
    m_updates.push_back(std::move(update));
}

QColor SettingsPage::accent() const { return m_env.themeManager.current().accent; }

TavrilonToggle* SettingsPage::toggle(const QString& name, std::function<bool()> get, std::function<void(bool)> set)
{
    auto* t = new TavrilonToggle(m_env.themeManager);
    t->setObjectName(name);
    // Only a click writes: reading the store back moves the switch without writing again.
    connect(t, &QAbstractButton::clicked, this, [this, t, set](bool on) {
        if (m_refreshing) return;
        write([&] { set(on); });
        (void)t;
    });
    onRefresh([t, get] {
        if (t->isChecked() != get()) t->setChecked(get());
    });
    return t;
}

QWidget* SettingsPage::toggleRow(const QString& name, const QString& title, const QString& caption,
                                 std::function<bool()> get, std::function<void(bool)> set, TavrilonToggle** out)
{
    TavrilonToggle* t = toggle(name, std::move(get), std::move(set));
    if (out) *out = t;
    return controlRow(settingsToggleLabel(title, caption), t);
}

QSlider* SettingsPage::slider(const QString& name, double minimum, double maximum, double step,
                              std::function<double()> get, std::function<void(double)> set)
{
    auto* s = new QSlider(Qt::Horizontal);
    s->setObjectName(name);
    const int positions = int(std::lround((maximum - minimum) / step));
    s->setRange(0, positions);
    s->setSingleStep(1);
    s->setPageStep(1);
    connect(s, &QSlider::valueChanged, this, [this, minimum, step, set](int position) {
        if (m_refreshing) return;
        write([&] { set(minimum + position * step); });
    });
    onRefresh([this, s, minimum, step, positions, get] {
        // A stored value outside the range leaves the thumb at the nearer end and is not
        // rewritten until the user moves it.
        const double v = get();
        const int position = std::isfinite(v) ? int(std::clamp<double>(std::lround((v - minimum) / step), 0, positions)) : 0;
        if (s->value() != position) s->setValue(position);
        setInk(s, QPalette::Highlight, accent());
    });
    return s;
}

Stepper* SettingsPage::stepper(const QString& name, qint64 minimum, qint64 maximum, qint64 step,
                               std::function<qint64()> get, std::function<void(qint64)> set,
                               std::function<QString(qint64)> label)
{
    auto* s = new Stepper(minimum, maximum, step);
    s->setObjectName(name);
    connect(s, &Stepper::stepped, this, [this, set](qint64 v) {
        if (m_refreshing) return;
        write([&] { set(v); });
    });
    onRefresh([this, s, get, label] {
        const qint64 v = get();
        s->show(v, label(v));
        s->setValueColor(accent());
    });
    return s;
}

Segmented* SettingsPage::segmented(const QString& name, const QStringList& labels, int width, std::function<int()> get,
                                   std::function<void(int)> set)
{
    auto* s = new Segmented(labels, width);
    s->setObjectName(name);
    connect(s, &Segmented::chosen, this, [this, set](int i) {
        if (m_refreshing) return;
        write([&] { set(i); });
    });
    onRefresh([this, s, get] {
        s->setIndex(get());
        s->setAccent(accent());
    });
    return s;
}

QLineEdit* SettingsPage::field(const QString& name, QLineEdit* edit, std::function<QString()> get,
                               std::function<void(const QString&)> set)
{
    edit->setObjectName(name);
    connect(edit, &QLineEdit::textEdited, this, [this, set](const QString& text) {
        if (m_refreshing) return;
        write([&] { set(text); });
    });
    onRefresh([edit, get] {
        const QString v = get();
        if (edit->text() != v) edit->setText(v);
    });
    return edit;
}

QLabel* SettingsPage::liveText(QLabel* label, std::function<QString()> get)
{
    onRefresh([label, get] { label->setText(get()); });
    return label;
}

void SettingsPage::visibleWhen(QWidget* widget, std::function<bool()> condition)
{
    onRefresh([widget, condition] { widget->setVisible(condition()); });
}

void SettingsPage::enabledWhen(QWidget* widget, std::function<bool()> condition, bool dim)
{
    QGraphicsOpacityEffect* effect = nullptr;
    if (dim) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    onRefresh([widget, condition, effect] {
        const bool on = condition();
        widget->setEnabled(on);
        if (effect) effect->setOpacity(on ? 1.0 : 0.4);
    });
}

QWidget* SettingsPage::divider() { return new Divider(m_env.themeManager, Qt::Horizontal); }

QWidget* SettingsPage::rebuilt(int spacing, std::function<void(QWidget*, QVBoxLayout*)> fill)
{
    auto* host = new QWidget;
    auto* column = new QVBoxLayout(host);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    onRefresh([host, column, fill] {
        while (QLayoutItem* item = column->takeAt(0)) {
            if (QWidget* w = item->widget()) {
                w->hide();
                w->deleteLater();
            }
            delete item;
        }
        fill(host, column);
        // Shown now, not on the next turn of the loop, so a refresh never leaves a gap.
        for (int i = 0; i < column->count(); ++i)
            if (QWidget* w = column->itemAt(i)->widget()) w->show();
    });
    return host;
}

void setInk(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    // Setting a palette restyles the widget: only when the colour really changes.
    if (widget->palette().color(role) == color && widget->testAttribute(Qt::WA_SetPalette)) return;
    QPalette pal = widget->palette();
    pal.setColor(role, color);
    widget->setPalette(pal);
}
