// Every window fits its screen's available area and its buttons can be
// reached. tests/CMakeLists.txt runs these cases again at scale 2 on one
// 1280x800 screen, where the windows' own sizes are too large.
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include "ShellFixture.h"
#include "platform/qt/QtMessageBox.h"
#include "shell/Help.h"
#include "shell/Whoisupdate.h"
#include "shell/frmAbout.h"

namespace norvik::test {
namespace {

// The window's frame lies in the available area; each button lies in the
// window or in a scroll area that does.
void expectFits(QWidget* window, std::initializer_list<QAbstractButton*> buttons) {
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    QCoreApplication::processEvents();
    const QRect area = window->screen()->availableGeometry();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") {
        EXPECT_EQ(area.size(), QSize(640, 400));
    }
    EXPECT_TRUE(area.contains(window->frameGeometry()))
        << window->objectName().toStdString() << " " << window->frameGeometry().width() << "x"
        << window->frameGeometry().height();
    for (QAbstractButton* b : buttons) {
        ASSERT_NE(b, nullptr);
        QWidget* outer = b;
        for (QWidget* p = b->parentWidget(); p != window; p = p->parentWidget())
            if (qobject_cast<QScrollArea*>(p) != nullptr) outer = p;
        EXPECT_TRUE(b->isVisibleTo(window) &&
                    window->rect().contains(QRect(outer->mapTo(window, QPoint()), outer->size())))
            << b->text().toStdString();
    }
}

class SmallScreen : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        start();
    }
    template <class T = QAbstractButton>
    static T* in(QWidget* window, const char* name) {
        return window->findChild<T*>(QLatin1String(name));
    }
};

TEST_F(SmallScreen, EveryWindowFitsAndItsButtonsCanBeReached) {
    expectFits(form.get(), {w<QAbstractButton>("carryoutping")});

    shell::Form2& report = form->form2();
    report.setReport(QString("Reply\r\n").repeated(80), "1ms", "0");
    report.setRecords(std::vector<ping::PingRecord>(80, {0, 1, "127.0.0.1", 0, 900, 32, 64}),
                      "127.0.0.1", "127.0.0.1");
    report.showReport();
    expectFits(&report,
               {in(&report, "reportcopy"), in(&report, "reportsave"), in(&report, "Command1")});

    click(w("whoiswords"));
    click(w("whoisserver"));
    QWidget* servers = form->whoisupdate();
    expectFits(servers,
               {in(servers, "Command1"), in(servers, "Command3"), in(servers, "Command2")});

    form->ShowAbout();
    QWidget* about = form->about();
    expectFits(about, {in(about, "cmdOK"), in(about, "cmdSysInfo")});

    shell.folder = QFileInfo(qEnvironmentVariable("NORVIK_CLI")).path().toStdString();
    shell.openAnswer = false;
    click(w("Image2"));
    QWidget* help = form->help().window();
    expectFits(help, {in(help, "helpBack"), in(help, "helpForward")});

    // A message box with more lines than the screen holds.
    platform::QtMessageBox qtBoxes;
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        expectFits(box, {box->button(QMessageBox::Ok)});
        box->button(QMessageBox::Ok)->click();
    });
    qtBoxes.show(QString("A line of the message\r\n").repeated(60).toStdString(), "Norvik",
                 platform::Buttons::Ok, platform::Icon::Critical);
}

}  // namespace
}  // namespace norvik::test
