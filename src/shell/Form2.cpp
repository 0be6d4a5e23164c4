#include "shell/Form2.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "platform/qt/QtMessageBox.h"
#include "platform/qt/ScreenFit.h"
#include "shell/ResultButtons.h"
#include "shell/RttPlot.h"
#include "shell/Widgets.h"

namespace norvik::shell {

// The statistics line with each of its fields ("3 sent,", "min/avg/max/mdev
// 20.00/22.00/24.00/2.00 ms,") a label of its own: a field never breaks, and
// the fields that do not fit on a line go whole to the next.
class FieldLine : public QWidget {
  public:
    explicit FieldLine(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("statsline"));
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    void setText(const QString& text) {
        text_ = text;
        qDeleteAll(fields_);
        fields_.clear();
        const QStringList parts = text.split(QStringLiteral(", "), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QLabel* field =
                plainLabel(i + 1 < parts.size() ? parts[i] + u',' : parts[i], "statsfield", this);
            field->setTextInteractionFlags(Qt::TextSelectableByMouse);
            field->show();
            fields_.push_back(field);
        }
        updateGeometry();
        place(width(), true);
    }
    const QString& text() const { return text_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return place(width, false); }
    QSize sizeHint() const override {
        return {place(QWIDGETSIZE_MAX, false, true), place(QWIDGETSIZE_MAX, false)};
    }
    QSize minimumSizeHint() const override {
        int widest = 0;
        for (const QLabel* f : fields_) widest = std::max(widest, f->sizeHint().width());
        return {widest, place(widest, false)};
    }

  protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        place(width(), true);
    }

  private:
    // Lays the fields out in `width`, a space apart; the height they take,
    // or with `wide` the width of the longest line.
    int place(int width, bool move, bool wide = false) const {
        const int gap = fontMetrics().horizontalAdvance(u' ');
        int x = 0, y = 0, row = 0, longest = 0;
        for (QLabel* f : fields_) {
            const QSize s = f->sizeHint();
            if (x > 0 && x + s.width() > width) {
                x = 0;
                y += row;
                row = 0;
            }
            if (move) f->setGeometry(x, y, s.width(), s.height());
            longest = std::max(longest, x + s.width());
            row = std::max(row, s.height());
            x += s.width() + gap;
        }
        return wide ? longest : y + row;
    }

    QString text_;
    std::vector<QLabel*> fields_;
};

Form2::Form2(QWidget* mainWindow, platform::MessageBox* boxes)
    : QWidget(nullptr), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Norvik Report"));
    setWindowIcon(NamedIcon("norvik"));

    auto* picture = new IconView(40, this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setIcon(NamedIcon("ping"), QStringLiteral("ping"));

    titleLabel_ = plainLabel(QStringLiteral("Ping Report"), "Label1", this);
    QFont title = titleLabel_->font();
    title.setPointSizeF(title.pointSizeF() * 1.4);
    title.setBold(true);
    titleLabel_->setFont(title);

    reportBox_ = new QPlainTextEdit(this);
    reportBox_->setObjectName(QStringLiteral("Text1"));
    reportBox_->setReadOnly(true);
    reportBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reportBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reportBox_->setTabChangesFocus(true);
    // Room for a few lines is enough; the rest scrolls.
    reportBox_->setMinimumHeight(reportBox_->fontMetrics().lineSpacing() * 4);

    auto* averageCaption = plainLabel(QStringLiteral("Average Ping:"), "Label2", this);
    averageLabel_ = plainLabel(QStringLiteral("0ms"), "avpinglabel", this);
    auto* timeoutsCaption = plainLabel(QStringLiteral("Time Outs:"), "Label3", this);
    timeoutsLabel_ = plainLabel(QStringLiteral("0"), "timeouts", this);
    QFont figure = averageLabel_->font();
    figure.setBold(true);
    averageLabel_->setFont(figure);
    timeoutsLabel_->setFont(figure);

    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setObjectName(QStringLiteral("Command1"));
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &Form2::closeReport);

    statsline_ = new FieldLine(this);
    rttplot_ = new RttPlot(this);
    auto* buttons = new ResultButtons(
        QStringLiteral("report"), nullptr,
        [this](exports::Format f) {
            return exports::Render(
                f, exports::PingDocument{target_, address_, reportText_.toStdString(), records_});
        },
        QStringLiteral("ping-report"), boxes, this);

    auto* head = new QHBoxLayout;
    head->addWidget(picture);
    head->addWidget(titleLabel_, 1);

    auto* figures = new QGridLayout;
    figures->addWidget(averageCaption, 0, 0);
    figures->addWidget(averageLabel_, 0, 1);
    figures->addWidget(timeoutsCaption, 1, 0);
    figures->addWidget(timeoutsLabel_, 1, 1);
    figures->setColumnStretch(2, 1);

    auto* foot = new QHBoxLayout;
    foot->addLayout(figures, 1);
    foot->addWidget(buttons, 0, Qt::AlignBottom);
    foot->addWidget(closeButton_, 0, Qt::AlignBottom);

    // On a small screen at a large scale the report scrolls as a whole.
    QWidget* body = platform::ScrollingBody(this);
    auto* v = new QVBoxLayout(body);
    v->addLayout(head);
    v->addWidget(reportBox_, 1);
    v->addWidget(statsline_);
    v->addWidget(rttplot_);
    v->addLayout(foot);

    setTabOrder(reportBox_, buttons->copyButton());
    setTabOrder(buttons->copyButton(), buttons->saveButton());
    setTabOrder(buttons->saveButton(), closeButton_);
    resize(460, 560);
    platform::FitToScreen(this);
}

void Form2::setReport(const QString& reportText, const QString& average, const QString& timeouts) {
    reportText_ = reportText;
    reportBox_->setPlainText(platform::QtMessageBox::displayText(reportText.toStdString()));
    averageLabel_->setText(average);
    timeoutsLabel_->setText(timeouts);
}

void Form2::setRecords(const std::vector<ping::PingRecord>& records, const std::string& target,
                       const std::string& address) {
    records_ = records;
    target_ = target;
    address_ = address;
    statsline_->setText(
        QString::fromStdString(ping::StatisticsLine(ping::ComputeStatistics(records_))));
    rttplot_->setRecords(records_);
}

QString Form2::statisticsText() const { return statsline_->text(); }

void Form2::showReport() {
    show();
    raise();
    activateWindow();
}

QString Form2::averageText() const { return averageLabel_->text(); }
QString Form2::timeoutsText() const { return timeoutsLabel_->text(); }

void Form2::closeReport() {
    hide();
    if (mainWindow_ != nullptr) {
        mainWindow_->show();
        mainWindow_->raise();
        mainWindow_->activateWindow();
    }
}

void Form2::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        closeReport();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace norvik::shell
