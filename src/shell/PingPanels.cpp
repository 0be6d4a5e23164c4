#include "shell/PingPanels.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "ping/PingResults.h"
#include "shell/Page.h"
#include "shell/RttPlot.h"
#include "shell/Widgets.h"

namespace norvik::shell {

namespace {

const QColor kDarkBlue(0x00, 0x00, 0x99);
const QColor kRed(0xEC, 0x00, 0x00);
// By StatusLook: in progress, success, failure.
constexpr const char* kImages[] = {"inprogress", "tick", "cross"};

std::size_t at(ping::StatusLook look) { return static_cast<std::size_t>(look); }

}  // namespace

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Shape1"));
    // Its colour follows the palette (setSurfaceColours).
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    image_ = named(new IconView(24, this), "Picture1");
    text_ = plainLabel(QStringLiteral("Ready..."), "status", this);
    text_->setFont(scaled(text_->font(), 1.1, true));
    // The status is read by its text; its changes are announced.
    text_->setAccessibleDescription(QStringLiteral("Status"));
    for (std::size_t i = 0; i < looks_.size(); ++i) {
        looks_[i] = named(new IconView(24, parent), kImages[i]);
        looks_[i]->setVisible(false);
    }
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->addWidget(image_);
    row->addWidget(text_, 1);
}

QColor StatusPanel::colour(ping::StatusLook look) const {
    return Readable(look == ping::StatusLook::Failure ? kRed : kDarkBlue,
                    {palette().color(QPalette::Window)}, 4.5);
}

void StatusPanel::setSurfaceColours(const QColor& surface, const QColor& text) {
    QPalette p = palette();
    p.setColor(QPalette::Window, surface);
    p.setColor(QPalette::WindowText, text);
    setPalette(p);
    for (std::size_t i = 0; i < looks_.size(); ++i) {
        const auto look = static_cast<ping::StatusLook>(i);
        looks_[i]->setIcon(TintedIcon(kImages[i], colour(look)), QLatin1String(kImages[i]));
        if (image_->iconName() == looks_[i]->iconName())
            image_->setIcon(looks_[i]->icon(), looks_[i]->iconName());
    }
    QPalette t = text_->palette();
    t.setColor(QPalette::WindowText, colour(look_));
    text_->setPalette(t);
}

void StatusPanel::setStatus(ping::StatusLook look, const std::string& caption) {
    look_ = look;
    QPalette p = text_->palette();
    p.setColor(QPalette::WindowText, colour(look));
    text_->setPalette(p);
    text_->setText(QString::fromStdString(caption));
    Announce(text_);
    image_->setIcon(looks_[at(look)]->icon(), looks_[at(look)]->iconName());
    repaintNow();
}

bool StatusPanel::inProgress() const {
    return image_->iconName() == looks_[at(ping::StatusLook::InProgress)]->iconName();
}

void StatusPanel::repaintNow() {
    text_->repaint();
    image_->repaint();
}

PingResults::PingResults(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pingResults"));
    todoCaption_ = plainLabel(QStringLiteral("Pings to do:"), "Labelping1", this);
    todo_ = plainLabel(QStringLiteral("12"), "todo", this);
    doneCaption_ = plainLabel(QStringLiteral("Pings done:"), "Labelping2", this);
    done_ = plainLabel(QStringLiteral("12"), "done", this);
    percent_ = plainLabel(QStringLiteral("100%"), "pc", this);
    const int counterWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000.0%"));
    for (QLabel* l : {todo_, done_, percent_}) l->setMinimumWidth(counterWidth);
    bar_ = named(new QProgressBar(this), "ProgressBar1");
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QStringLiteral("Progress"));
    live_ = plainLabel(QString(), "pinglive", this);
    live_->setAccessibleName(QStringLiteral("Loss, average and jitter"));
    plot_ = new RttPlot(this);
    plot_->setObjectName(QStringLiteral("pingplot"));
    // The room the results have goes to the plot, not between the counters.
    plot_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    plotLater_ = new QTimer(this);
    plotLater_->setSingleShot(true);
    connect(plotLater_, &QTimer::timeout, this, [this] {
        plot_->update();
        plotDrawn_.start();
    });
    auto* progress = new QGridLayout;
    progress->addWidget(todoCaption_, 0, 0);
    progress->addWidget(todo_, 0, 1);
    progress->addWidget(doneCaption_, 1, 0);
    progress->addWidget(done_, 1, 1);
    progress->addWidget(bar_, 2, 0, 1, 3);
    progress->addWidget(percent_, 2, 3);
    progress->addWidget(live_, 3, 0, 1, 4);
    progress->addWidget(plot_, 4, 0, 1, 4);
    progress->setColumnStretch(2, 1);

    const char* fields[][3] = {{"Returned Status", "return2", "Text4_0"},
                               {"Address (dec)", "return7", "Text4_1"},
                               {"Ping Time", "return3", "Text4_2"},
                               {"Packet Size", "return4", "Text4_3"},
                               {"Data Pointer", "return5", "Text4_5"}};
    auto* reply = new QGridLayout;
    reply->setHorizontalSpacing(12);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        Field& f = fields_[i];
        f.caption = plainLabel(QLatin1String(fields[i][0]), fields[i][1], this);
        f.box = named(new QLineEdit(this), fields[i][2]);
        f.box->setReadOnly(true);
        // Named after its caption for assistive technology.
        f.caption->setBuddy(f.box);
        f.box->setAccessibleName(f.caption->text());
        reply->addWidget(f.caption, static_cast<int>(i), 0);
        reply->addWidget(f.box, static_cast<int>(i), 1);
    }
    reply->setColumnStretch(1, 1);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(10);
    layout_->addLayout(progress);
    layout_->addLayout(reply);
    // Room the window gives the results goes below them, or to the plot
    // while it shows.
    layout_->addStretch(1);
    showCounters(false);
    showFields(false);
    setVisible(false);
}

const PingResults::Field& PingResults::at(int index) const {
    return fields_.at(static_cast<std::size_t>(index == 5 ? 4 : index));
}

QLineEdit* PingResults::field(int index) const { return at(index).box; }

void PingResults::showCounters(bool shown) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{bar_, percent_, todoCaption_, doneCaption_, done_, todo_})
        w->setVisible(shown);
    plot_->setVisible(shown && liveOn_);
    live_->setVisible(shown && liveOn_);
    layout_->setStretch(0, shown && liveOn_ ? 1 : 0);
    layout_->setStretch(2, shown && liveOn_ ? 0 : 1);
}

void PingResults::startLive(bool on) {
    liveOn_ = on;
    sent_ = received_ = 0;
    sumUs_ = jumpsUs_ = 0;
    plot_->setRecords({});
    plotLater_->stop();
    plotDrawn_.invalidate();
    live_->clear();
}

void PingResults::addLive(const ping::PingRecord& record) {
    if (!liveOn_) return;
    // The figures of ComputeStatistics, kept up as the pings come.
    ++sent_;
    if (record.replied()) {
        const std::uint32_t us = record.roundTripUs;
        if (received_ > 0) jumpsUs_ += std::abs(double(us) - double(lastUs_));
        lastUs_ = us;
        ++received_;
        sumUs_ += us;
    }
    ping::PingStatistics s;
    s.sent = sent_;
    s.received = received_;
    s.lossPercent = 100.0 * (sent_ - received_) / sent_;
    if (received_ > 0) s.avgMs = sumUs_ / received_ / 1000.0;
    if (received_ > 1) s.jitterMs = jumpsUs_ / (received_ - 1) / 1000.0;
    // Drawing the plot costs about a millisecond: a fast run would spend
    // most of its time on it, so it is drawn at most every 50 ms, and once
    // more after the last ping.
    constexpr int kPlotDrawMs = 50;
    plot_->add(record);
    if (!plotDrawn_.isValid() || plotDrawn_.elapsed() >= kPlotDrawMs) {
        plotLater_->stop();
        plot_->repaint();
        plotDrawn_.start();
    } else if (!plotLater_->isActive()) {
        plotLater_->start(kPlotDrawMs - static_cast<int>(plotDrawn_.elapsed()));
    }
    setNow(live_, ping::LiveLine(s));
}

void PingResults::showField(int index, bool shown) {
    at(index).caption->setVisible(shown);
    at(index).box->setVisible(shown);
}

void PingResults::showFields(bool shown) {
    for (int i : {0, 1, 2, 3, 5}) showField(i, shown);
}

void PingResults::setNow(QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
    label->repaint();
}

void PingResults::setProgress(int percent) {
    bar_->setValue(percent);
    bar_->repaint();
}

void PingResults::repaintCounters() {
    for (QWidget* w : std::initializer_list<QWidget*>{bar_, percent_, todo_, done_}) w->repaint();
}

std::vector<QWidget*> PingResults::tabOrder() const {
    std::vector<QWidget*> order;
    for (const Field& f : fields_) order.push_back(f.box);
    return order;
}

void PingResults::fit(bool pageShown) {
    bool any = false;
    for (QWidget* w : findChildren<QWidget*>()) any = any || !w->isHidden();
    setVisible(any && pageShown);
}

}  // namespace norvik::shell
