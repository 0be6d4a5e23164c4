// The baseline of bench_startup: a QApplication and one empty QWidget.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    return app.exec();
}
