#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QWidget>

class ThemeManager;

// A short word in the palette's accent on a faint accent plate with small rounded corners.
class TagView : public QWidget {
    Q_OBJECT
public:
    TagView(ThemeManager& themes, const QString& text, QWidget* parent = nullptr);
    QString text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    QString m_text;
};
