#include "ui/theme/Shadow.h"

#include <QPaintDevice>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace {

// One box blur pass along rows (or columns when `vertical`), radius r, edges clamped to zero.
void boxPass(std::vector<float>& src, std::vector<float>& dst, int w, int h, int r, bool vertical)
{
    const int lines = vertical ? w : h;
    const int len = vertical ? h : w;
    const float norm = 1.0f / float(2 * r + 1);
    auto at = [&](int line, int i) -> std::size_t {
        return vertical ? std::size_t(i) * std::size_t(w) + std::size_t(line) : std::size_t(line) * std::size_t(w) + std::size_t(i);
    };
    for (int line = 0; line < lines; ++line) {
        float sum = 0;
        for (int i = 0; i <= std::min(r, len - 1); ++i) sum += src[at(line, i)];
        for (int i = 0; i < len; ++i) {
            dst[at(line, i)] = sum * norm;
            const int add = i + r + 1;
            const int drop = i - r;
            if (add < len) sum += src[at(line, add)];
            if (drop >= 0) sum -= src[at(line, drop)];
        }
    }
}

std::atomic<int> g_blurs{0};

}  // namespace

namespace Shadow {

int blursMade() { return g_blurs.load(); }

qreal reach(qreal radius)
{
    return std::ceil(std::max<qreal>(radius, 0) * 1.5) + 1;
}

QImage tintedBlur(const QImage& source, const QColor& color, qreal radiusPx)
{
    g_blurs.fetch_add(1, std::memory_order_relaxed);
    const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width();
    const int h = src.height();
    QImage out(src.size(), QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(source.devicePixelRatio());
    if (w == 0 || h == 0) return out;

    std::vector<float> a(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) a[std::size_t(y) * std::size_t(w) + std::size_t(x)] = float(qAlpha(line[x])) / 255.0f;
    }
    // Three box passes approximate a Gaussian of sigma = radius / 2.
    const double sigma = std::max(0.0, radiusPx / 2.0);
    const int box = int(std::lround(std::sqrt(sigma * sigma * 4.0 + 1.0) - 1.0) / 2);
    if (box > 0) {
        std::vector<float> tmp(a.size());
        for (int pass = 0; pass < 3; ++pass) {
            boxPass(a, tmp, w, h, box, false);
            boxPass(tmp, a, w, h, box, true);
        }
    }
    const float cr = color.redF(), cg = color.greenF(), cb = color.blueF(), ca = color.alphaF();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float alpha = std::clamp(a[std::size_t(y) * std::size_t(w) + std::size_t(x)] * ca, 0.0f, 1.0f);
            line[x] = qRgba(int(cr * alpha * 255.0f + 0.5f), int(cg * alpha * 255.0f + 0.5f), int(cb * alpha * 255.0f + 0.5f),
                            int(alpha * 255.0f + 0.5f));
        }
    }
    return out;
}

QImage layer(const QPainter& p, const QRectF& area, qreal margin, const std::function<void(QPainter&)>& content)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QRectF grown = area.adjusted(-margin, -margin, margin, margin);
    QImage img(std::max(1, int(std::ceil(grown.width() * dpr))), std::max(1, int(std::ceil(grown.height() * dpr))),
               QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    QPainter lp(&img);
    lp.setRenderHint(QPainter::Antialiasing);
    lp.setRenderHint(QPainter::TextAntialiasing);
    lp.translate(-grown.topLeft());
    content(lp);
    lp.end();
    return img;
}

void drawShadow(QPainter& p, const QRectF& area, const QColor& color, qreal radius, QPointF offset,
                const std::function<void(QPainter&)>& content)
{
    if (color.alpha() == 0) return;
    const qreal margin = reach(radius);
    const QImage shape = layer(p, area, margin, content);
    const QImage shadow = tintedBlur(shape, color, radius * shape.devicePixelRatio());
    p.drawImage(area.topLeft() - QPointF(margin, margin) + offset, shadow);
}

void Cache::draw(QPainter& p, const QRectF& area, const QColor& color, qreal radius, QPointF offset, quint64 shapeKey,
                 const std::function<void(QPainter&)>& content)
{
    if (color.alpha() == 0) return;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const quint64 rgba = color.rgba64();
    const qreal margin = reach(radius);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (e.size == area.size() && e.dpr == dpr && e.color == rgba && e.radius == radius && e.shapeKey == shapeKey) {
            if (i > 0) m_entries.move(i, 0);
            p.drawImage(area.topLeft() - QPointF(margin, margin) + offset, m_entries.first().image);
            return;
        }
    }
    const QImage shape = layer(p, area, margin, content);
    Entry entry{area.size(), dpr, rgba, radius, shapeKey, tintedBlur(shape, color, radius * shape.devicePixelRatio())};
    ++m_blurs;
    m_entries.prepend(std::move(entry));
    if (m_entries.size() > kKept) m_entries.removeLast();
    p.drawImage(area.topLeft() - QPointF(margin, margin) + offset, m_entries.first().image);
}

}  // namespace Shadow
