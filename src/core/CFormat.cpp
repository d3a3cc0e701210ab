#include "core/CFormat.h"

#include <cstdarg>
#include <cstdio>
#include <locale.h>

namespace {

locale_t cLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

}  // namespace

QString cformat(const char* format, ...)
{
    // The C locale for this thread only, while formatting: other threads keep theirs.
    const locale_t previous = cLocale() ? uselocale(cLocale()) : locale_t(nullptr);
    char small[128];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    QString text;
    if (needed >= 0 && size_t(needed) < sizeof small) {
        text = QString::fromUtf8(small, needed);
    } else if (needed >= 0) {
        QByteArray big(needed + 1, Qt::Uninitialized);
        std::vsnprintf(big.data(), size_t(big.size()), format, again);
        text = QString::fromUtf8(big.constData(), needed);
    }
    va_end(again);
    if (previous) uselocale(previous);
    return text;
}
