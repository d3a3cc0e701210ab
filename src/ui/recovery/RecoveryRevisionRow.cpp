#include "ui/recovery/RecoveryRevisionRow.h"

#include "core/ByteCountFormatter.h"
#include "core/Clock.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/recovery/RecoveryRevisionModel.h"
#include "ui/recovery/RecoveryRowPlate.h"
#include "ui/recovery/RecoveryView.h"
#include "ui/shell/StatusMenu.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

constexpr int kPadH = 12;
constexpr int kPadV = 8;
constexpr int kIcon = 16;

struct Fonts {
    QFont date = DashboardStyle::font(12.5, QFont::Medium);
    QFont detail = DashboardStyle::font(10);
};
const Fonts& fonts()
{
    static const Fonts f;
    return f;
}

}  // namespace

RecoveryRevisionRow::RecoveryRevisionRow(ThemeManager& themes, const Clock& clock, QObject* parent)
    : QStyledItemDelegate(parent), m_themes(themes), m_clock(clock)
{
}

RecoveryRevisionRow::Texts RecoveryRevisionRow::texts(const WorkRecovery::SnapshotRevision& revision, const QDateTime& now)
{
    return {RecoveryView::dateText(revision.capturedAt),
            relativeAgeText(revision.capturedAt, now) + QStringLiteral(" \u2014 ") + formatByteCount(revision.bytes)};
}

QSize RecoveryRevisionRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const Fonts& f = fonts();
    return {option.rect.width(), 2 * kPadV + QFontMetrics(f.date).height() + 2 + QFontMetrics(f.detail).height()};
}

void RecoveryRevisionRow::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = static_cast<const RecoveryRevisionModel*>(index.model());
    const Texts t = texts(model->revision(index.row()), m_clock.now());
    const PaletteTheme& theme = m_themes.current();
    const Fonts& f = fonts();
    const QRect r = option.rect;

    p->save();
    paintRecoveryRowPlate(*p, option, theme);
    const QRectF icon(r.left() + kPadH, r.center().y() - kIcon / 2.0, kIcon, kIcon);
    SymbolIcon::paint(*p, icon, QStringLiteral("clock.arrow.circlepath"), QBrush(theme.accent));
    const int left = int(icon.right()) + 10;
    const int width = std::max(0, r.right() - kPadH - left);
    const QFontMetrics dateMetrics(f.date), detailMetrics(f.detail);
    int y = r.top() + kPadV;
    p->setFont(f.date);
    p->setPen(theme.textBright);
    p->drawText(QRect(left, y, width, dateMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                dateMetrics.elidedText(t.date, Qt::ElideRight, width));
    y += dateMetrics.height() + 2;
    p->setFont(f.detail);
    p->setPen(theme.textDim);
    p->drawText(QRect(left, y, width, detailMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                detailMetrics.elidedText(t.detail, Qt::ElideRight, width));
    p->restore();
}
