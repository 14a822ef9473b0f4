// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/IconArt.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zelbor {

// The window icon: a gear (the motor) in a blue disc with a yellow bolt across it.
QPixmap IconPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size;
    const QPointF c(s / 2, s / 2);
    p.setPen(QPen(QColor(10, 50, 110), s / 32));
    p.setBrush(QColor(25, 100, 200));
    p.drawEllipse(c, s * 0.47, s * 0.47);

    // Gear: a ring of teeth around a hub.
    QPainterPath gear;
    const int teeth = 8;
    const double rOut = s * 0.36, rIn = s * 0.28;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i * 180.0 / teeth) - 90.0 / teeth;
        const double r = (i % 2 == 0) ? rOut : rIn;
        for (int k = 0; k <= 1; ++k) {
            const double a = (a0 + k * 180.0 / teeth) * std::numbers::pi / 180.0;
            const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
            if (i == 0 && k == 0)
                gear.moveTo(pt);
            else
                gear.lineTo(pt);
        }
    }
    gear.closeSubpath();
    gear.addEllipse(c, s * 0.13, s * 0.13);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 240, 248));
    p.drawPath(gear);

    // Bolt.
    QPolygonF bolt;
    bolt << QPointF(s * 0.56, s * 0.14) << QPointF(s * 0.34, s * 0.54) << QPointF(s * 0.49, s * 0.54)
         << QPointF(s * 0.42, s * 0.88) << QPointF(s * 0.68, s * 0.44) << QPointF(s * 0.53, s * 0.44)
         << QPointF(s * 0.62, s * 0.14);
    p.setPen(QPen(QColor(120, 80, 0), std::max(1.0, s / 40)));
    p.setBrush(QColor(255, 200, 30));
    p.drawPolygon(bolt);
    p.end();
    return pm;
}

} // namespace zelbor
