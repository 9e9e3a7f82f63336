// The yardstick for start-up: a minimal Qt program that shows one empty window and
// reports, as BrivetPoster does, when the window is first painted.
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>

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
    window.show();
    return QApplication::exec();
}
