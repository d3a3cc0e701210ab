#include "ui/settings/SettingsView.h"

#include "core/AppSettings.h"
#include "ui/dashboard/Divider.h"
#include "ui/dashboard/VRAXConnectedBadge.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/shell/PermissionsCenter.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace {

// The application's emblem with its soft glow.
class Emblem : public QWidget {
public:
    explicit Emblem(QWidget* parent) : QWidget(parent) { setFixedSize(96, 96); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QSvgRenderer svg(QStringLiteral(":/icons/VeltranmoorMark.svg"));
        if (svg.isValid()) svg.render(&p, QRectF(rect()).adjusted(6, 6, -6, -6));
    }
};

// Lays its items out in rows, left to right, starting a new row where the width runs out.
class FlowLayout final : public QLayout {
public:
    explicit FlowLayout(QWidget* parent, int spacing) : QLayout(parent), m_spacing(spacing) {}
    ~FlowLayout() override
    {
        while (QLayoutItem* item = takeAt(0)) delete item;
    }

    void addItem(QLayoutItem* item) override { m_items.append(item); }
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override
    {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect& rect) override
    {
        QLayout::setGeometry(rect);
        arrange(rect, true);
    }
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSize() const override
    {
        QSize size;
        for (const QLayoutItem* item : m_items) size = size.expandedTo(item->sizeHint());
        const QMargins m = contentsMargins();
        return size.grownBy(m);
    }

private:
    int arrange(const QRect& rect, bool place) const
    {
        const QRect area = rect.marginsRemoved(contentsMargins());
        int x = area.x(), y = area.y(), rowHeight = 0;
        for (QLayoutItem* item : m_items) {
            const QSize hint = item->sizeHint();
            if (x > area.x() && x + hint.width() > area.right() + 1) {
                x = area.x();
                y += rowHeight + m_spacing;
                rowHeight = 0;
            }
            if (place) item->setGeometry(QRect(QPoint(x, y), hint));
            x += hint.width() + m_spacing;
            rowHeight = std::max(rowHeight, hint.height());
        }
        return y + rowHeight - rect.y() + contentsMargins().bottom();
    }

    QList<QLayoutItem*> m_items;
    int m_spacing;
};

}  // namespace

SettingsSidebarRow::SettingsSidebarRow(SettingsSection section, ThemeManager& themes, QWidget* parent)
    : QAbstractButton(parent), m_section(section), m_themes(themes)
{
    setObjectName(QStringLiteral("sidebarRow"));
    setText(SettingsSections::rawValue(section));
    // A long title may be cut at the sidebar's width; the whole one shows on hover.
    setToolTip(text());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&themes, &ThemeManager::currentChanged, this, qOverload<>(&QWidget::update));
}

void SettingsSidebarRow::setOnPalette(bool onPalette)
{
    m_onPalette = onPalette;
    update();
}

void SettingsSidebarRow::setSelected(bool selected)
{
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

QSize SettingsSidebarRow::sizeHint() const
{
    // A few pixels beyond the text's advance: glyphs placed on fractional positions never reach
    // the elision point.
    const QFontMetrics fm(sysFont(12));
    return {10 + 18 + 8 + fm.horizontalAdvance(text()) + 4 + 10, std::max(fm.height(), 14) + 12};
}

void SettingsSidebarRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_selected) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 6, 6);
        p.fillPath(path, withOpacity(m_themes.current().accent, 0.2));
    }
    const PaletteTheme& theme = m_themes.current();
    // On the fixed dark sidebar white and grey read; on the palette's background its own text does.
    const QColor ink = m_onPalette ? (m_selected ? theme.textBright : theme.text) : m_selected ? QColor(Qt::white) : gray;
    SymbolIcon::paint(p, QRectF(10 + 2, (height() - 14) / 2.0, 14, 14), SettingsSections::icon(m_section), ink);
    p.setFont(sysFont(12));
    p.setPen(ink);
    p.drawText(QRectF(10 + 18 + 8, 0, width() - 36 - 10, height()), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(text(), Qt::ElideRight, width() - 46));
}

SettingsView::SettingsView(const SettingsEnvironment& env, QWidget* parent) : SettingsView(env, Placement::window, parent) {}

SettingsView::SettingsView(const SettingsEnvironment& env, Placement placement, QWidget* parent)
    : QWidget(parent), m_env(env), m_placement(placement)
{
    setObjectName(QStringLiteral("settingsView"));
    const bool inWindow = placement == Placement::window;
    if (inWindow) setMinimumSize(minimumWindowSize);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    if (inWindow) {
        m_sidebar = buildSidebar();
        // A short screen scrolls the sidebar rather than hiding its last pages.
        auto* sideScroll = new QScrollArea(this);
        sideScroll->setObjectName(QStringLiteral("settingsSidebarScroll"));
        sideScroll->setFrameShape(QFrame::NoFrame);
        sideScroll->setWidgetResizable(true);
        sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        sideScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        // Room for the scroll bar beside the titles, so a scrolling sidebar cuts none of them.
        sideScroll->setFixedWidth(m_sidebar->width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        m_sidebar->setMinimumWidth(0);
        QPalette side = sideScroll->palette();
        side.setColor(QPalette::Window, sidebarBg);
        sideScroll->setPalette(side);
        sideScroll->viewport()->setPalette(side);
        sideScroll->viewport()->setAutoFillBackground(true);
        sideScroll->setWidget(m_sidebar);
        row->addWidget(sideScroll);
        row->addWidget(new Divider(env.themeManager, Qt::Vertical, 1.0, this));
    } else {
        m_strip = buildStrip();
        column->addWidget(m_strip);
        column->addWidget(new Divider(env.themeManager, Qt::Horizontal, 1.0, this));
    }

    m_detail = new QScrollArea(this);
    m_detail->setObjectName(QStringLiteral("settingsDetail"));
    m_detail->setWidgetResizable(true);
    m_detail->setFrameShape(QFrame::NoFrame);
    m_detail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_detail->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_detail->viewport()->setAutoFillBackground(false);
    auto* host = new QWidget;
    host->setAutoFillBackground(false);
    m_detailStack = new QVBoxLayout(host);
    m_detailStack->setContentsMargins(24, 24, 24, 24);
    m_detailStack->setSpacing(16);
    m_detailStack->setAlignment(Qt::AlignTop);
    m_detail->setWidget(host);
    column->addWidget(m_detail, 1);
    row->addLayout(column, 1);

    connect(&env.themeManager, &ThemeManager::currentChanged, this, [this] {
        applyColorScheme();
        updateHeader();
        update();
    });
    connect(&env.settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == QLatin1String("vraxIntegrationEnabled")) updateHeader();
    });
    applyColorScheme();
    updateHeader();
    m_page = makePage(m_selected);
    m_detailStack->addWidget(m_page);
    m_rows.value(m_selected)->setSelected(true);
}

SettingsView::~SettingsView()
{
    // The page reads the environment and the page state, which are members: it goes first.
    delete m_page;
}

QWidget* SettingsView::buildStrip()
{
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("settingsSectionStrip"));
    auto* flow = new FlowLayout(strip, 4);
    flow->setContentsMargins(16, 10, 16, 10);
    for (SettingsSection section : SettingsSections::all) {
        auto* r = new SettingsSidebarRow(section, m_env.themeManager, strip);
        r->setOnPalette(true);
        r->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(r, &QAbstractButton::clicked, this, [this, section] { selectSection(section); });
        m_rows.insert(section, r);
        flow->addWidget(r);
    }
    return strip;
}

QWidget* SettingsView::buildSidebar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("settingsSidebar"));
    bar->setAutoFillBackground(true);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Window, sidebarBg);
    bar->setPalette(pal);
    auto* column = new QVBoxLayout(bar);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(4);

    auto* header = new QWidget(bar);
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(0, 8, 0, 14);
    headerColumn->setSpacing(6);
    headerColumn->addWidget(new Emblem(header), 0, Qt::AlignHCenter);
    headerColumn->addWidget(makeText(QStringLiteral("Veltranmoor"), sysFont(12, QFont::Bold), Qt::white, false, header), 0,
                            Qt::AlignHCenter);
    const QString version = m_env.appVersion.isEmpty() ? QStringLiteral("\u2014") : m_env.appVersion;
    m_version = makeText(QStringLiteral("v") + version, mono(9, QFont::Medium), Qt::white, false, header);
    m_version->setObjectName(QStringLiteral("versionLine"));
    headerColumn->addWidget(m_version, 0, Qt::AlignHCenter);
    m_badge = new VRAXConnectedBadge(cyan, header);
    headerColumn->addWidget(m_badge, 0, Qt::AlignHCenter);
    column->addWidget(header);
    auto* line = new Divider(m_env.themeManager, Qt::Horizontal, 1.0, bar);
    column->addWidget(line);
    column->addSpacing(6);
    for (SettingsSection section : SettingsSections::all) {
        auto* r = new SettingsSidebarRow(section, m_env.themeManager, bar);
        connect(r, &QAbstractButton::clicked, this, [this, section] { selectSection(section); });
        m_rows.insert(section, r);
        column->addWidget(r);
    }
    column->addStretch(1);
    // As wide as the longest title needs, so none is cut.
    int width = sidebarWidth;
    const QMargins margins = column->contentsMargins();
    for (const SettingsSidebarRow* r : std::as_const(m_rows))
        width = std::max(width, r->sizeHint().width() + margins.left() + margins.right());
    bar->setFixedWidth(width);
    return bar;
}

void SettingsView::selectSection(SettingsSection section)
{
    if (section == m_selected && m_page) return;
    m_rows.value(m_selected)->setSelected(false);
    m_selected = section;
    m_rows.value(section)->setSelected(true);
    // The old page goes first, so two pages never exist at once; page state stays in the view.
    delete m_page;
    m_page = makePage(section);
    m_detailStack->addWidget(m_page);
    m_page->show();
    m_detail->verticalScrollBar()->setValue(0);
}

QWidget* SettingsView::makePage(SettingsSection section)
{
    QWidget* page = nullptr;
    switch (section) {
    case SettingsSection::profiles: page = makeProfilesPage(m_env, m_state); break;
    case SettingsSection::general: page = makeGeneralPage(m_env, m_state); break;
    case SettingsSection::permissions:
        // Each showing asks the system again.
        m_env.permissions.refresh();
        page = makePermissionsPage(m_env, m_state);
        break;
    case SettingsSection::appearance: page = makeAppearancePage(m_env, m_state); break;
    case SettingsSection::autopilot: page = makeAutoPilotPage(m_env, m_state); break;
    case SettingsSection::automation: page = makeAutomationPage(m_env, m_state); break;
    case SettingsSection::assistant: page = makeAssistantPage(m_env, m_state); break;
    case SettingsSection::myData: page = makeMyDataPage(m_env, m_state); break;
    case SettingsSection::thresholds: page = makeThresholdsPage(m_env, m_state); break;
    case SettingsSection::processes: page = makeProtectedProcessesPage(m_env, m_state); break;
    case SettingsSection::tavrilonWatcher:
        // The panel draws the whole page itself, straight under the pane's padding.
        if (m_env.makeWatcherPanel) page = m_env.makeWatcherPanel();
        break;
    case SettingsSection::aiShield: page = makeAIShieldPage(m_env, m_state); break;
    case SettingsSection::integration: page = makeVRAXPage(m_env, m_state); break;
    case SettingsSection::about: page = makeAboutPage(m_env, m_state); break;
    }
    if (!page) {
        // A page whose service is not there names itself and offers nothing that pretends to work.
        page = new QWidget;
        auto* rows = new QVBoxLayout(page);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->addWidget(new SectionHeader(SettingsSections::rawValue(section), SettingsSections::icon(section)));
    }
    page->setParent(m_detail->widget());
    page->setProperty("settingsSection", SettingsSections::rawValue(section));
    return page;
}

void SettingsView::updateHeader()
{
    if (!m_badge) return;
    m_badge->setVisible(m_env.settings.vraxIntegrationEnabled());
    QPalette pal = m_version->palette();
    pal.setColor(QPalette::WindowText, withOpacity(m_env.themeManager.current().accent, 0.7));
    m_version->setPalette(pal);
}

void SettingsView::applyColorScheme()
{
    const PaletteTheme& theme = m_env.themeManager.current();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, theme.background);
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2e));
    pal.setColor(QPalette::AlternateBase, QColor(0x24, 0x24, 0x28));
    pal.setColor(QPalette::Text, Qt::white);
    pal.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    pal.setColor(QPalette::ButtonText, Qt::white);
    pal.setColor(QPalette::Highlight, theme.accent);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::PlaceholderText, gray);
    pal.setColor(QPalette::Light, theme.border);
    pal.setColor(QPalette::Mid, theme.border);
    pal.setColor(QPalette::Dark, theme.background);
    pal.setColor(QPalette::ToolTipBase, QColor(0x2a, 0x2a, 0x2e));
    pal.setColor(QPalette::ToolTipText, Qt::white);
    // Text drawn straight on the palette's background (the page titles, the page row inside the
    // dashboard) reads in the palette's own emphasised text.
    pal.setColor(QPalette::BrightText, theme.textBright);
    for (auto group : {QPalette::Disabled}) {
        pal.setColor(group, QPalette::WindowText, QColor(0x63, 0x63, 0x66));
        pal.setColor(group, QPalette::ButtonText, QColor(0x63, 0x63, 0x66));
        pal.setColor(group, QPalette::Text, QColor(0x63, 0x63, 0x66));
    }
    setPalette(pal);
    // The sidebar keeps its own fixed colour.
    if (!m_sidebar) return;
    QPalette side = m_sidebar->palette();
    side.setColor(QPalette::Window, sidebarBg);
    m_sidebar->setPalette(side);
}

void SettingsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_env.themeManager.current().background);
}
