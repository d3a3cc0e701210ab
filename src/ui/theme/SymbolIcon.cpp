#include "ui/theme/SymbolIcon.h"

#include "ui/theme/Shadow.h"

#include <QFile>
#include <QHash>
#include <QSvgRenderer>
#include <memory>

// The icons live in a static library; referencing the resource keeps the linker from dropping it.
static void ensureIconResource()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)loaded;
}

namespace {
QSvgRenderer* renderer(const QString& name)
{
    // A row or button without a symbol passes no name: nothing to draw, nothing to look up.
    if (name.isEmpty()) return nullptr;
    // Painting happens on the main thread only.
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        auto r = std::make_shared<QSvgRenderer>(SymbolIcon::resourcePath(name));
        it = cache.insert(name, r->isValid() ? r : nullptr);
    }
    return it->get();
}
}  // namespace

QString SymbolIcon::resourcePath(const QString& name)
{
    ensureIconResource();
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

bool SymbolIcon::exists(const QString& name)
{
    return QFile::exists(resourcePath(name));
}

void SymbolIcon::paint(QPainter& p, const QRectF& box, const QString& name, const QBrush& brush)
{
    QSvgRenderer* svg = renderer(name);
    if (!svg || box.isEmpty()) return;
    QSizeF size = svg->defaultSize();
    size.scale(box.size(), Qt::KeepAspectRatio);
    const QRectF target(box.center() - QPointF(size.width() / 2, size.height() / 2), size);
    // The layer is the same wherever the symbol stands, and lists paint the same few symbols
    // on every row: with a solid colour each is rendered once.
    if (brush.style() == Qt::SolidPattern && p.device()) {
        const QString key = name + QStringLiteral("|%1|%2|%3|%4")
                                       .arg(qRound(size.width() * 64))
                                       .arg(qRound(size.height() * 64))
                                       .arg(p.device()->devicePixelRatioF())
                                       .arg(brush.color().rgba());
        // Painting happens on the main thread only.
        static QHash<QString, QImage> images;
        auto it = images.find(key);
        if (it == images.end()) {
            if (images.size() > 512) images.clear();
            const QRectF local(QPointF(0, 0), size);
            it = images.insert(key, Shadow::layer(p, local, 0, [&](QPainter& lp) {
                svg->render(&lp, local);
                lp.setCompositionMode(QPainter::CompositionMode_SourceIn);
                lp.fillRect(local, brush);
            }));
        }
        p.drawImage(target.topLeft(), *it);
        return;
    }
    const QImage mask = Shadow::layer(p, target, 0, [&](QPainter& lp) {
        svg->render(&lp, target);
        lp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        lp.fillRect(target, brush);
    });
    p.drawImage(target.topLeft(), mask);
}
