#pragma once
// Shared test fixtures: every test binary runs with a QApplication on the offscreen
// platform, private config and data folders, and message boxes answered by script.
#include <QList>
#include <QString>
#include <QTemporaryDir>

class QWidget;

struct ShownBox
{
    QString prompt;
    int style;
    QString title;
};

// Records every message box and answers it with the next scripted answer (OK, or
// the box's cancel button for OK/Cancel boxes when none is left... see answer()).
class MsgBoxScript
{
public:
    MsgBoxScript();
    ~MsgBoxScript();
    void answer(QList<int> answers) { m_answers = std::move(answers); }
    const QList<ShownBox>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

private:
    QList<int> m_answers;
    QList<ShownBox> m_shown;
};

// The controls of window whose text does not fit them, named with what is missing: a
// button's caption needs room on both sides, a label, option or check box its whole
// text (a wrapping label its height), a drop-down list its longest entry.
QStringList captionsThatDoNotFit(const QWidget* window);

// A folder for this test's files, removed afterwards.
QString testFolder();
// Writes bytes to name inside testFolder() and returns the full path.
QString writeTestFile(const QString& name, const QByteArray& bytes);
// The project's source folder (for examples/).
QString sourceFolder();
