#include "tests/TestSupport.h"

#include "platform/ui/MsgBox.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

MsgBoxScript::MsgBoxScript()
{
    setMsgBoxHook([this](const QString& prompt, int style, const QString& title) {
        m_shown.append({prompt, style, title});
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return vbOK;
    });
}

MsgBoxScript::~MsgBoxScript()
{
    setMsgBoxHook({});
}

QString testFolder()
{
    static QTemporaryDir folder;
    return folder.path();
}

QString writeTestFile(const QString& name, const QByteArray& bytes)
{
    const QString path = QDir(testFolder()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(bytes);
    return path;
}

QString sourceFolder()
{
    return QStringLiteral(BRIVET_SOURCE_DIR);
}

QStringList captionsThatDoNotFit(const QWidget* window)
{
    // Room a caption needs between it and a button's edges, on each side.
    constexpr int ButtonPadding = 8;
    QStringList cut;
    const auto check = [&](const QWidget* control, int needed, int has, const char* what) {
        if (control->isVisible() && needed > has)
            cut << QStringLiteral("%1 (%2: needs %3, has %4)")
                       .arg(control->objectName(), QLatin1String(what))
                       .arg(needed)
                       .arg(has);
    };
    for (const QPushButton* button : window->findChildren<QPushButton*>()) {
        const int text = button->fontMetrics().horizontalAdvance(button->text());
        check(button, text + 2 * ButtonPadding, button->contentsRect().width(), "caption");
        check(button, button->sizeHint().height(), button->height(), "height");
    }
    for (const QAbstractButton* option : window->findChildren<QAbstractButton*>()) {
        if (qobject_cast<const QRadioButton*>(option) || qobject_cast<const QCheckBox*>(option))
            check(option, option->sizeHint().width(), option->width(), "text");
    }
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        if (label->wordWrap())
            check(label, label->heightForWidth(label->width()), label->height(), "lines");
        else
            check(label, label->sizeHint().width(), label->width(), "text");
    }
    for (const QComboBox* list : window->findChildren<QComboBox*>())
        check(list, list->sizeHint().width(), list->width(), "longest entry");
    for (const QGroupBox* frame : window->findChildren<QGroupBox*>())
        check(frame, frame->fontMetrics().horizontalAdvance(frame->title()), frame->width(),
              "title");
    return cut;
}
