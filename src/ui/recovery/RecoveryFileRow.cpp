#include "ui/recovery/RecoveryFileRow.h"

#include "core/ByteCountFormatter.h"
#include "core/Clock.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/recovery/RecoveryFileModel.h"
#include "ui/recovery/RecoveryRowPlate.h"
#include "ui/shell/StatusMenu.h"
#include "ui/theme/ThemeManager.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

constexpr int kPadH = 12;
constexpr int kPadV = 7;
constexpr int kGap = 2;

struct Fonts {
    QFont name = DashboardStyle::font(12.5, QFont::DemiBold);
    QFont folder = DashboardStyle::mono(10);
    QFont small = DashboardStyle::font(10);
};
const Fonts& fonts()
{
    static const Fonts f;
    return f;
}

}  // namespace

RecoveryFileRow::RecoveryFileRow(ThemeManager& themes, const Clock& clock, QObject* parent)
    : QStyledItemDelegate(parent), m_themes(themes), m_clock(clock)
{
}

RecoveryFileRow::Texts RecoveryFileRow::texts(const WorkRecovery::RecoverableFile& file, const QDateTime& now)
{
    const QFileInfo info(file.originalPath);
    const int n = file.snapshotCount;
    return {info.fileName(), info.path(), QString::number(n) + QStringLiteral(" rev") + (n == 1 ? QString() : QStringLiteral("s")),
            relativeAgeText(file.mostRecentAt, now), formatByteCount(file.mostRecentBytes)};
}

int RecoveryFileRow::rowHeight()
{
    static const int h = [] {
        const Fonts& f = fonts();
        return kPadV + QFontMetrics(f.name).height() + kGap + QFontMetrics(f.folder).height() + kGap + 2 +
               QFontMetrics(f.small).height() + 2 + kPadV;
    }();
    return h;
}

QSize RecoveryFileRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), rowHeight()};
}

void RecoveryFileRow::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = static_cast<const RecoveryFileModel*>(index.model());
    const Texts t = texts(model->file(index.row()), m_clock.now());
    const PaletteTheme& theme = m_themes.current();
    const Fonts& f = fonts();
    const QRect r = option.rect;

    p->save();
    paintRecoveryRowPlate(*p, option, theme);
    const int left = r.left() + kPadH;
    const int width = std::max(0, r.width() - 2 * kPadH);
    int y = r.top() + kPadV;

    const QFontMetrics nameMetrics(f.name);
    p->setFont(f.name);
    p->setPen(theme.textBright);
    p->drawText(QRect(left, y, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                nameMetrics.elidedText(t.name, Qt::ElideRight, width));
    y += nameMetrics.height() + kGap;

    const QFontMetrics folderMetrics(f.folder);
    p->setFont(f.folder);
    p->setPen(theme.textDim);
    p->drawText(QRect(left, y, width, folderMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                folderMetrics.elidedText(t.folder, Qt::ElideMiddle, width));
    y += folderMetrics.height() + kGap;

    const QFontMetrics smallMetrics(f.small);
    p->setFont(f.small);
    const QRect badge(left, y, smallMetrics.horizontalAdvance(t.badge) + 10, smallMetrics.height() + 4);
    QPainterPath pill;
    pill.addRoundedRect(QRectF(badge), 4, 4);
    p->fillPath(pill, withOpacity(QColor(128, 128, 128), 0.15));
    p->setPen(theme.text);
    p->drawText(badge, Qt::AlignCenter, t.badge);
    p->setPen(theme.textDim);
    const QString rest = t.age + QStringLiteral("   ") + t.size;
    p->drawText(QRect(badge.right() + 9, y, std::max(0, left + width - badge.right() - 9), badge.height()),
                Qt::AlignLeft | Qt::AlignVCenter, smallMetrics.elidedText(rest, Qt::ElideRight, width));
    p->restore();
}
