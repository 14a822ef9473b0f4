// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AssistChart.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>

namespace zelbor {

namespace {

const ParameterField& LevelField(bool current, int level)
{
    return *FindParameter("speBasAssist" + std::to_string(level) + (current ? "CurrLim" : "SpdLim"));
}

// Two colours apart from each other and from the labels' red and purple, on light and dark
// backgrounds alike.
const QColor kCurrentColour(0xe0, 0x8a, 0x00);
const QColor kSpeedColour(0x1f, 0x8f, 0x5f);

QString List(const TAssistChart::Levels& levels)
{
    QStringList parts;
    for (int v : levels)
        parts << QString::number(v);
    return parts.join(QStringLiteral(", "));
}

} // namespace

TAssistChart::TAssistChart(TEditingState& state, QWidget* parent) : QWidget(parent), state_(state)
{
    setObjectName(QStringLiteral("imgAssistChart"));
    setMinimumHeight(120);
    setFocusPolicy(Qt::NoFocus); // it shows what the fields hold; the fields are where to act
    listener_ = state_.AddListener([this](const TEditingChange&) {
        Describe();
        update();
    });
    Describe();
}

TAssistChart::~TAssistChart() { state_.RemoveListener(listener_); }

void TAssistChart::SetTexts(const Texts& texts)
{
    texts_ = texts;
    Describe();
    update();
}

TAssistChart::Levels TAssistChart::Edited(bool current) const
{
    Levels levels{};
    for (int i = 0; i < 10; ++i)
        levels[static_cast<std::size_t>(i)] = state_.Value(LevelField(current, i));
    return levels;
}

std::optional<TAssistChart::Levels> TAssistChart::Reported(bool current) const
{
    const auto& reported = state_.Reported(bcBasic);
    if (!reported)
        return std::nullopt;
    Levels levels{};
    for (int i = 0; i < 10; ++i)
        levels[static_cast<std::size_t>(i)] = LevelField(current, i).Value(*reported);
    return levels;
}

std::vector<int> TAssistChart::Falling() const
{
    std::vector<int> falling;
    const Levels current = Edited(true), speed = Edited(false);
    for (std::size_t i = 1; i < 10; ++i)
        if (current[i] < current[i - 1] || speed[i] < speed[i - 1])
            falling.push_back(static_cast<int>(i));
    return falling;
}

void TAssistChart::Describe()
{
    setAccessibleName(texts_.name);
    QString text = texts_.current + QStringLiteral(": ") + List(Edited(true)) + QStringLiteral(". ") + texts_.speed +
                   QStringLiteral(": ") + List(Edited(false)) + QStringLiteral(".");
    if (const auto current = Reported(true), speed = Reported(false); current && speed)
        text += QStringLiteral(" ") + texts_.controller + QStringLiteral(": ") + texts_.current + QStringLiteral(" ") +
                List(*current) + QStringLiteral("; ") + texts_.speed + QStringLiteral(" ") + List(*speed) +
                QStringLiteral(".");
    const std::vector<int> falling = Falling();
    if (!falling.empty()) {
        QStringList levels;
        for (int level : falling)
            levels << QString::number(level);
        text += QStringLiteral(" ") +
                QString(texts_.rising).replace(QStringLiteral("%1"), levels.join(QStringLiteral(", ")));
    }
    setAccessibleDescription(text);
    setToolTip(text);
}

void TAssistChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const int legend = fm.height() + 2;
    const QRectF plot = QRectF(rect()).adjusted(24, legend + 4, -6, -fm.height() - 4);
    const QColor text = palette().color(QPalette::WindowText);

    // Frame, the 0 / 50 / 100 % lines and the level numbers.
    QColor grid = text;
    grid.setAlpha(60);
    p.setPen(grid);
    for (int percent : {0, 50, 100}) {
        const qreal y = plot.bottom() - plot.height() * percent / 100.0;
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(text);
        p.drawText(QRectF(0, y - fm.height() / 2.0, plot.left() - 3, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(percent));
        p.setPen(grid);
    }
    const auto x = [&](int level) { return plot.left() + plot.width() * level / 9.0; };
    const auto y = [&](int value) { return plot.bottom() - plot.height() * std::clamp(value, 0, 100) / 100.0; };
    p.setPen(text);
    for (int level = 0; level < 10; ++level)
        p.drawText(QRectF(x(level) - 8, plot.bottom() + 2, 16, fm.height()), Qt::AlignCenter, QString::number(level));

    const auto curve = [&](const Levels& levels, QColor colour, bool faint) {
        QPainterPath path;
        for (int i = 0; i < 10; ++i) {
            const QPointF point(x(i), y(levels[static_cast<std::size_t>(i)]));
            i == 0 ? path.moveTo(point) : path.lineTo(point);
        }
        if (faint)
            colour.setAlpha(80);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, faint ? 4 : 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        if (faint)
            return;
        p.setBrush(colour);
        for (int i = 0; i < 10; ++i) {
            const std::size_t l = static_cast<std::size_t>(i);
            const bool breaks = i > 0 && levels[l] < levels[l - 1];
            const qreal r = breaks ? 4.5 : 2.5;
            if (breaks) { // a level below the one before it: a ring that catches the eye
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(QPointF(x(i), y(levels[l])), r, r);
                p.setBrush(colour);
            } else {
                p.drawEllipse(QPointF(x(i), y(levels[l])), r, r);
            }
        }
    };
    // The controller's values behind the edited ones.
    if (const auto current = Reported(true))
        curve(*current, kCurrentColour, true);
    if (const auto speed = Reported(false))
        curve(*speed, kSpeedColour, true);
    curve(Edited(true), kCurrentColour, false);
    curve(Edited(false), kSpeedColour, false);

    // The legend.
    qreal at = plot.left();
    for (const auto& [colour, label] :
         {std::pair{kCurrentColour, texts_.current}, std::pair{kSpeedColour, texts_.speed}}) {
        p.setPen(QPen(colour, 2));
        p.drawLine(QPointF(at, legend / 2.0), QPointF(at + 14, legend / 2.0));
        p.setPen(text);
        p.drawText(QPointF(at + 18, fm.ascent()), label);
        at += 18 + fm.horizontalAdvance(label) + 12;
    }
}

} // namespace zelbor
