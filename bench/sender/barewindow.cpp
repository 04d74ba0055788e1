// The yardstick for Quillpost's start-up: a bare Qt Widgets window with a
// caption, nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    window.resize(480, 260);
    window.show();
    return QApplication::exec();
}
