#pragma once

#include "ui/dashboard/ProfileStyle.h"

#include <QFont>
#include <QWidget>

// The active profile's symbol and name in one colour; as the sidebar's pill it also gets the
// colour at 0.15 behind it in a rounded capsule.
class ProfileLabelView : public QWidget {
    Q_OBJECT
public:
    struct Sizes {
        qreal symbol;
        qreal name;
        QFont::Weight weight;
    };
    ProfileLabelView(Sizes sizes, bool pill, QWidget* parent = nullptr);

    const ProfileStyle& style() const { return m_style; }
    void setStyle(const ProfileStyle& style);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont nameFont() const;
    QMargins padding() const;

    Sizes m_sizes;
    bool m_pill;
    ProfileStyle m_style;
};
