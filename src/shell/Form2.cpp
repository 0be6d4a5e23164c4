#include "shell/Form2.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/QtMessageBox.h"
#include "platform/qt/ScreenFit.h"
#include "shell/ResultButtons.h"
#include "shell/RttPlot.h"
#include "shell/Widgets.h"

namespace norvik::shell {

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

    statsline_ = plainLabel(QString(), "statsline", this);
    statsline_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statsline_->setWordWrap(true);
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
