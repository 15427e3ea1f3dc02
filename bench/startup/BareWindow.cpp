// The references for start-up: the least a Qt Widgets program does to show
// one fixed-size window of the main window's size. Built a second time with
// BARE_WITH_CAPTION, the window also shows one Japanese caption in the
// installed Japanese gothic: the price of drawing any text at all.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setObjectName(QStringLiteral("BareWindow"));
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.setFixedSize(222, 170);
#ifdef BARE_WITH_CAPTION
    QLabel caption(QStringLiteral("メールチェック"), &window);
    caption.setFont(QFont(QStringLiteral("IPAPGothic"), 9));
    caption.move(136, 2);
#endif
    window.show();
    return QApplication::exec();
}
