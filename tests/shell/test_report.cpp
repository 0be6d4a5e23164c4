// The report window and its use from the Ping page.

#include "ShellFixture.h"

namespace norvik::test {
namespace {

using Report = ShellTest;

TEST_F(Report, ViewReportBeforeAnyRunShowsTheDesignTexts) {
    start();
    EXPECT_FALSE(form->hasForm2());
    click(w("Label11"));
    ASSERT_TRUE(form->hasForm2());
    shell::Form2& r = form->form2();
    EXPECT_TRUE(r.isVisible());
    EXPECT_EQ(r.objectName(), "Form2");
    EXPECT_EQ(r.windowTitle(), "Norvik Report");
    EXPECT_EQ(r.text1(), "");
    EXPECT_EQ(r.averageText(), "0ms");
    EXPECT_EQ(r.timeoutsText(), "0");
    auto* text1 = r.findChild<QPlainTextEdit*>("Text1");
    ASSERT_NE(text1, nullptr);
    EXPECT_TRUE(text1->isReadOnly());
    EXPECT_EQ(r.findChild<QLabel*>("Label1")->text(), "Ping Report");
    EXPECT_EQ(r.findChild<QLabel*>("Label2")->text(), "Average Ping:");
    EXPECT_EQ(r.findChild<QLabel*>("Label3")->text(), "Time Outs:");
    EXPECT_EQ(r.findChild<QPushButton*>("Command1")->text(), "Close");
    for (QLabel* l : r.findChildren<QLabel*>()) {
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    }
}

TEST_F(Report, CloseHidesItAndBringsTheMainWindowBack) {
    start();
    echo.replyAfter(9);
    echo.replyAfter(11);
    w<QComboBox>("Combo1")->setEditText("127.0.0.1");
    w<QComboBox>("Combo2")->setEditText("2");
    click(w("carryoutping"));
    shell::Form2& r = form->form2();
    ASSERT_TRUE(r.isVisible());
    const QString report = r.text1();
    form->hide();
    click(r.findChild<QPushButton*>("Command1"));
    EXPECT_FALSE(r.isVisible());
    EXPECT_TRUE(form->isVisible());
    // The same window comes back with the same report.
    click(w("Label11"));
    EXPECT_TRUE(r.isVisible());
    EXPECT_EQ(&r, &form->form2());
    EXPECT_EQ(r.text1(), report);
    EXPECT_EQ(r.averageText(), " 10ms");
}

TEST_F(Report, EscapeClosesTheReport) {
    start();
    click(w("Label11"));
    shell::Form2& r = form->form2();
    ASSERT_TRUE(r.isVisible());
    key(r.findChild<QPlainTextEdit*>("Text1"), Qt::Key_Escape);
    EXPECT_FALSE(r.isVisible());
}

TEST_F(Report, EndingTheProgramTakesTheReportAlong) {
    start();
    click(w("Label11"));
    form->close();
    EXPECT_FALSE(form->form2().isVisible());
}

}  // namespace
}  // namespace norvik::test
