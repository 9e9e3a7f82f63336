#include "tests/TestSupport.h"

#include "platform/ui/MsgBox.h"

#include <QDir>
#include <QFile>

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
