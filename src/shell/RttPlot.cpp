#include "shell/RttPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace norvik::shell {

namespace {

constexpr int kBandHeight = 8;  // room for the time-out marks under the axis

// 1, 2 or 5 times a power of ten, at least v.
double niceCeiling(double v) {
    if (v <= 0) return 1;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v) return m * p;
    return 10 * p;
}

// A mark three pixels wide, so that one lost ping among thousands shows.
void markTimeout(QPainter& painter, int x, const QRect& band) {
    painter.fillRect(QRect(x - 1, band.top(), 3, band.height()), RttPlot::timeoutColor());
}

QString number(double v) { return QString::number(v, 'g', v >= 1000 ? 6 : 3); }

}  // namespace

RttPlot::RttPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("rttplot"));
    setAccessibleName(QStringLiteral("Round trip plot"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

QColor RttPlot::timeoutColor() { return QColor(0xEC, 0x00, 0x00); }

void RttPlot::setRecords(const std::vector<ping::PingRecord>& records) {
    ms_.clear();
    ms_.reserve(records.size());
    maxMs_ = 0;
    for (const ping::PingRecord& r : records) push(r);
    update();
}

void RttPlot::add(const ping::PingRecord& record) { push(record); }

void RttPlot::push(const ping::PingRecord& record) {
    const float v = record.replied() ? static_cast<float>(record.roundTripUs / 1000.0) : -1.0f;
    ms_.push_back(v);
    maxMs_ = std::max(maxMs_, v);
}

QSize RttPlot::sizeHint() const { return {380, fontMetrics().height() * 9}; }
QSize RttPlot::minimumSizeHint() const { return {200, fontMetrics().height() * 6}; }

double RttPlot::axisMax() const { return niceCeiling(maxMs_ > 0 ? maxMs_ : 1); }

QRect RttPlot::plotArea() const {
    const QFontMetrics fm = fontMetrics();
    int labelWidth = 0;
    for (int k = 0; k <= 2; ++k)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(number(axisMax() * k / 2.0)));
    labelWidth += 8;
    const int top = fm.height() + 6;
    const int bottom = height() - fm.height() * 2 - 4 - kBandHeight;
    return QRect(QPoint(labelWidth, top), QPoint(width() - 10, std::max(top + 10, bottom)));
}

QRect RttPlot::timeoutBand() const {
    const QRect p = plotArea();
    return QRect(p.left(), p.bottom() + 2, p.width(), kBandHeight - 2);
}

void RttPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    const QFontMetrics fm = fontMetrics();
    const QRect p = plotArea();
    const double top = axisMax();
    const QColor text = pal.color(QPalette::Text);
    QColor grid = text;
    grid.setAlphaF(0.2f);

    // Axes, grid and their labels with units.
    painter.setPen(text);
    painter.drawText(QRect(0, 0, width(), fm.height() + 4), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("round trip (ms)"));
    for (int k = 0; k <= 2; ++k) {
        const int y = p.bottom() - static_cast<int>(std::lround(p.height() * k / 2.0));
        painter.setPen(grid);
        painter.drawLine(p.left(), y, p.right(), y);
        painter.setPen(text);
        painter.drawText(QRect(0, y - fm.height() / 2, p.left() - 4, fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, number(top * k / 2.0));
    }
    painter.drawLine(p.bottomLeft(), p.topLeft());
    const int n = count();
    const int labelsY = p.bottom() + kBandHeight + 2;
    const QString last = n > 0 ? QString::number(n) : QString();
    painter.drawText(QRect(p.left() - 20, labelsY, 40, fm.height()), Qt::AlignHCenter, "1");
    if (n > 1) {
        painter.drawText(QRect(p.right() - 60, labelsY, 70, fm.height()), Qt::AlignRight, last);
    }
    painter.drawText(QRect(p.left(), labelsY + fm.height(), p.width(), fm.height()),
                     Qt::AlignHCenter, QStringLiteral("ping (number in the run)"));
    if (n == 0) return;

    const auto xOf = [&](double i) {
        return n == 1 ? p.center().x() : p.left() + i * p.width() / (n - 1);
    };
    const auto yOf = [&](double ms) { return p.bottom() - ms / top * p.height(); };
    const QRect band = timeoutBand();
    const QColor line = pal.color(QPalette::Highlight);
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (n <= p.width()) {
        // Every ping its own point: a line through the replies, broken where
        // one got none.
        QPainterPath path;
        bool open = false;
        for (int i = 0; i < n; ++i) {
            if (ms_[i] < 0) {
                open = false;
                continue;
            }
            const QPointF pt(xOf(i), yOf(ms_[i]));
            if (open)
                path.lineTo(pt);
            else
                path.moveTo(pt);
            open = true;
        }
        painter.setPen(QPen(line, 1.5));
        painter.drawPath(path);
        const bool markers = n <= p.width() / 6;
        painter.setBrush(line);
        for (int i = 0; i < n; ++i) {
            if (ms_[i] >= 0) {
                if (markers) painter.drawEllipse(QPointF(xOf(i), yOf(ms_[i])), 2.2, 2.2);
                if (n == 1) painter.drawEllipse(QPointF(xOf(i), yOf(ms_[i])), 2.5, 2.5);
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (int i = 0; i < n; ++i) {
            if (ms_[i] < 0) markTimeout(painter, static_cast<int>(std::lround(xOf(i))), band);
        }
        return;
    }

    // More pings than pixel columns: each column shows the range of its
    // replies, and one mark if any of its pings got no reply.
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int columns = p.width();
    painter.setPen(QPen(line, 1));
    std::vector<int> timedOutColumns;
    int i = 0;
    for (int c = 0; c < columns && i < n; ++c) {
        const int end = static_cast<int>(std::min<long long>(n, (long long)(c + 1) * n / columns));
        float lo = -1, hi = -1;
        bool timedOut = false;
        for (; i < end; ++i) {
            if (ms_[i] < 0) {
                timedOut = true;
                continue;
            }
            lo = lo < 0 ? ms_[i] : std::min(lo, ms_[i]);
            hi = std::max(hi, ms_[i]);
        }
        const int x = p.left() + c;
        if (hi >= 0) {
            const int y1 = static_cast<int>(std::lround(yOf(hi)));
            const int y2 = static_cast<int>(std::lround(yOf(lo)));
            painter.drawLine(x, y1, x, std::max(y1, y2));
        }
        if (timedOut) timedOutColumns.push_back(x);
    }
    for (int x : timedOutColumns) markTimeout(painter, x, band);
}

}  // namespace norvik::shell
