// The yardstick for start-up: a minimal Qt program that shows one empty window and
// reports, as BrivetPoster does, when the window is first painted. With --text the window
// holds one line of text, so that the program also loads the fonts, as every window
// with text does.
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace {
class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            std::fputs("window shown\n", stderr);
            std::fflush(stderr);
            watched->removeEventFilter(this);
        }
        return false;
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    FirstPaint reporter;
    window.installEventFilter(&reporter);
    window.resize(320, 136);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0)
        (new QLineEdit(QStringLiteral("text"), &window))->move(8, 8);
    window.show();
    return QApplication::exec();
}
