// The message box window, in the library of the platform layer that links Qt Widgets.
#include "platform/ui/MsgBox.h"
#include "platform/ui/DesktopWindows.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>

namespace {
// A text longer than this is never laid out whole in the box itself.
constexpr qsizetype LongText = 20000;

// The text cut to about maxLines lines: its first lines, a line that says how many
// were left out, and its last lines (where a question to answer usually stands). Each
// line keeps at most lineCharacters characters.
QString shortened(const QString& text, int maxLines, qsizetype lineCharacters)
{
    const QStringList lines = text.split(u'\n');
    const auto cut = [&](const QString& line) {
        if (line.size() <= lineCharacters)
            return line;
        qsizetype n = lineCharacters;
        if (line.at(n - 1).isHighSurrogate())
            --n;
        return line.left(n) + u'\u2026';
    };
    const qsizetype tail = std::min<qsizetype>(maxLines / 4, lines.size());
    const qsizetype head = std::min<qsizetype>(maxLines - tail, lines.size() - tail);
    QStringList shown;
    for (qsizetype i = 0; i < head; ++i)
        shown << cut(lines.at(i));
    if (const qsizetype left = lines.size() - head - tail; left > 0)
        shown << QStringLiteral("\u2026and %1 more lines (the whole text is below)").arg(left);
    for (qsizetype i = lines.size() - tail; i < lines.size(); ++i)
        shown << cut(lines.at(i));
    return shown.join(u'\n');
}

// The text with every line longer than DetailsLine characters broken into pieces of
// that length: laying out one line of megabytes would freeze the window.
constexpr qsizetype DetailsLine = 4096;

QString brokenLongLines(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / DetailsLine + 1);
    qsizetype column = 0;
    for (const QChar c : text) {
        if (c == u'\n') {
            column = -1;
        } else if (column >= DetailsLine && !c.isLowSurrogate()) {
            out += u'\n';
            column = 0;
        }
        out += c;
        ++column;
    }
    return out;
}

// Adds a scrollable read-only area with the whole text below the box's buttons,
// wrapped to its width. A plain-text editor lays out only the lines in view, so even
// megabytes show at once.
void addDetails(QMessageBox& box, const QString& text)
{
    auto* details = new QPlainTextEdit(&box);
    details->setObjectName(QStringLiteral("msgBoxDetails"));
    details->setReadOnly(true);
    details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    details->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    details->setPlainText(brokenLongLines(text));
    details->setMinimumSize(480, 120);
    details->setMaximumHeight(240);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addWidget(details, grid->rowCount(), 0, 1, grid->columnCount());
}

// The size the box takes once shown. A text wider than about half the screen is
// wrapped then (to the whole width on a small screen), so it is measured wrapped, as
// the box itself does it.
QSize shownSize(QMessageBox& box, const QSize& screen)
{
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QLayout* layout = box.layout();
    if (!label || !layout)
        return box.sizeHint();
    const int hardLimit =
        screen.width() <= 1024 ? screen.width() : std::min(screen.width() - 480, 1000);
    const int softLimit = std::min(screen.width() / 2, 500);
    label->setWordWrap(false);
    layout->invalidate();
    int width = layout->totalMinimumSize().width();
    if (width > softLimit) {
        label->setWordWrap(true);
        layout->invalidate();
        width = std::min(std::max(softLimit, layout->totalMinimumSize().width()), hardLimit);
    }
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                   : layout->totalMinimumSize().height();
    return {width, height};
}

// Shows the text as it stands when the box fits the screen; otherwise fewer lines
// with the whole text in a details area, so that the buttons stay within reach.
void setBoundedText(QMessageBox& box, const QString& text)
{
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    const QSize room = available * 9 / 10;
    const auto fits = [&] {
        const QSize size = shownSize(box, available);
        return size.height() <= room.height() && size.width() <= room.width();
    };
    if (text.size() <= LongText) {
        box.setText(text);
        if (fits())
            return;
    }
    addDetails(box, text);
    // Fewer and shorter lines until the box fits (a line with no space cannot wrap).
    const std::pair<int, qsizetype> sizes[] = {{30, 200}, {20, 120}, {12, 80}, {6, 50}, {3, 30}};
    for (const auto& [lines, characters] : sizes) {
        box.setText(shortened(text, lines, characters));
        if (fits())
            return;
    }
}
// A box is at least as wide as its title needs in the title bar, beside the window's
// icon and buttons: otherwise a short text makes it so narrow that the title bar cuts
// the program's name.
void reserveTitleWidth(QMessageBox& box)
{
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int most = screen ? screen->availableGeometry().width() / 2 : 400;
    const int width =
        std::min(metrics.horizontalAdvance(box.windowTitle()) + 6 * metrics.height(), most);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0), grid->rowCount(), 0, 1, grid->columnCount());
}

// The window a box belongs to, so that it shows over it: the active window, else the
// modal window in front. Right after a box closes the window system may not yet have
// handed activation back, so a box that follows at once (a Retry that failed again)
// goes to the window the previous box belonged to.
QWidget* boxOwner()
{
    static QPointer<QWidget> previous;
    QWidget* owner = QApplication::activeWindow();
    if (!owner)
        owner = QApplication::activeModalWidget();
    if (!owner && previous && previous->isVisible())
        owner = previous;
    previous = owner;
    return owner;
}
} // namespace

extern "C" PLATFORM_EXPORT int olvMsgBoxWindow(const QString& prompt, int style,
                                               const QString& title)
{
    QMessageBox box(boxOwner());
    box.setObjectName(QStringLiteral("msgBox"));
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationDisplayName() : title);
    switch (style & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    }
    struct Choice
    {
        QMessageBox::StandardButton button;
        int answer;
    };
    QList<Choice> choices;
    switch (style & 0x0F) {
    case 1:
        choices = {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
        break;
    case 2:
        choices = {{QMessageBox::Abort, vbAbort},
                   {QMessageBox::Retry, vbRetry},
                   {QMessageBox::Ignore, vbIgnore}};
        break;
    case 3:
        choices = {
            {QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
        break;
    case 4:
        choices = {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
        break;
    case 5:
        choices = {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
        break;
    default:
        choices = {{QMessageBox::Ok, vbOK}};
    }
    QMessageBox::StandardButtons buttons;
    for (const Choice& choice : choices)
        buttons |= choice.button;
    box.setStandardButtons(buttons);
    box.setDefaultButton(choices.first().button);
    // Texts carry the user's data (titles, bodies, paths): never taken for HTML.
    box.setTextFormat(Qt::PlainText);
    // After the icon, which lays the box out anew.
    reserveTitleWidth(box);
    setBoundedText(box, QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Choice& choice : choices)
        if (choice.button == pressed)
            return choice.answer;
    // Closed without a button: the box's cancel answer, or OK for a plain box.
    return choices.size() > 1 ? vbCancel : vbOK;
}
