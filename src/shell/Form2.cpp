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

    auto* Image1 = new IconView(40, this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setIcon(NamedIcon("ping"), QStringLiteral("ping"));

    Label1_ = plainLabel(QStringLiteral("Ping Report"), "Label1", this);
    QFont title = Label1_->font();
    title.setPointSizeF(title.pointSizeF() * 1.4);
    title.setBold(true);
    Label1_->setFont(title);

    Text1_ = new QPlainTextEdit(this);
    Text1_->setObjectName(QStringLiteral("Text1"));
    Text1_->setReadOnly(true);
    Text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1_->setTabChangesFocus(true);
    // Room for a few lines is enough; the rest scrolls.
    Text1_->setMinimumHeight(Text1_->fontMetrics().lineSpacing() * 4);

    auto* Label2 = plainLabel(QStringLiteral("Average Ping:"), "Label2", this);
    avpinglabel_ = plainLabel(QStringLiteral("0ms"), "avpinglabel", this);
    auto* Label3 = plainLabel(QStringLiteral("Time Outs:"), "Label3", this);
    timeouts_ = plainLabel(QStringLiteral("0"), "timeouts", this);
    QFont figure = avpinglabel_->font();
    figure.setBold(true);
    avpinglabel_->setFont(figure);
    timeouts_->setFont(figure);

    Command1_ = new QPushButton(QStringLiteral("Close"), this);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setDefault(true);
    connect(Command1_, &QPushButton::clicked, this, &Form2::Command1_Click);

    statsline_ = new FieldLine(this);
    rttplot_ = new RttPlot(this);
    auto* buttons = new ResultButtons(
        QStringLiteral("report"), nullptr,
        [this](exports::Format f) {
            return exports::Render(
                f, exports::PingDocument{target_, address_, text1_.toStdString(), records_});
        },
        QStringLiteral("ping-report"), boxes, this);

    auto* head = new QHBoxLayout;
    head->addWidget(Image1);
    head->addWidget(Label1_, 1);

    auto* figures = new QGridLayout;
    figures->addWidget(Label2, 0, 0);
    figures->addWidget(avpinglabel_, 0, 1);
    figures->addWidget(Label3, 1, 0);
    figures->addWidget(timeouts_, 1, 1);
    figures->setColumnStretch(2, 1);

    auto* foot = new QHBoxLayout;
    foot->addLayout(figures, 1);
    foot->addWidget(buttons, 0, Qt::AlignBottom);
    foot->addWidget(Command1_, 0, Qt::AlignBottom);

    // On a small screen at a large scale the report scrolls as a whole.
    QWidget* body = platform::ScrollingBody(this);
    auto* v = new QVBoxLayout(body);
    v->addLayout(head);
    v->addWidget(Text1_, 1);
    v->addWidget(statsline_);
    v->addWidget(rttplot_);
    v->addLayout(foot);

    setTabOrder(Text1_, buttons->copyButton());
    setTabOrder(buttons->copyButton(), buttons->saveButton());
    setTabOrder(buttons->saveButton(), Command1_);
    resize(460, 560);
    platform::FitToScreen(this);
}

void Form2::setReport(const QString& text1, const QString& average, const QString& timeouts) {
    text1_ = text1;
    Text1_->setPlainText(platform::QtMessageBox::displayText(text1.toStdString()));
    avpinglabel_->setText(average);
    timeouts_->setText(timeouts);
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

QString Form2::averageText() const { return avpinglabel_->text(); }
QString Form2::timeoutsText() const { return timeouts_->text(); }

void Form2::Command1_Click() {
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
        Command1_Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace norvik::shell
