#include "support/olvsupport0100/olvsupport0100.h"

#include <QFile>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QProcessEnvironment>
#include <QUrl>
#include <QWidget>

namespace {
QString iconPath(const QString& resourceName)
{
    return QStringLiteral(":/icons/%1.xpm").arg(resourceName);
}

// The desktop's wallpaper, where GNOME-like desktops leave it in the environment of
// the session; most sessions do not, and the gradient serves.
QPixmap wallpaper()
{
    static const QPixmap picture = [] {
        const QString uri =
            QProcessEnvironment::systemEnvironment().value(QStringLiteral("DESKTOP_WALLPAPER"));
        const QString path = QUrl(uri).isLocalFile() ? QUrl(uri).toLocalFile() : uri;
        return path.isEmpty() || !QFile::exists(path) ? QPixmap() : QPixmap(path);
    }();
    return picture;
}
} // namespace

int suSetWindowResIconAll(QWidget* window, const QString& resourceName)
{
    if (!window || !QFile::exists(iconPath(resourceName)))
        return -1;
    window->setWindowIcon(QIcon(iconPath(resourceName)));
    return 0;
}

int suPaintDesktop2(QWidget* form)
{
    if (!form)
        return -1;
    QPainter painter(form);
    const QPixmap picture = wallpaper();
    if (!picture.isNull()) {
        painter.drawTiledPixmap(form->rect(), picture);
        return 0;
    }
    QLinearGradient gradient(0, 0, 0, form->height());
    const QColor base = form->palette().color(QPalette::Window);
    gradient.setColorAt(0, base.lighter(106));
    gradient.setColorAt(1, base.darker(108));
    painter.fillRect(form->rect(), gradient);
    return 0;
}

int suLoadResIconEx(const QString& resourceName, void*, QPixmap* result)
{
    if (!result || !QFile::exists(iconPath(resourceName)))
        return -1;
    *result = QPixmap(iconPath(resourceName));
    return result->isNull() ? -1 : 0;
}
