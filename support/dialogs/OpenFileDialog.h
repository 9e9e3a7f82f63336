#pragma once
// OpenFileDialog: the file-open dialog component. Filter takes the platform's
// "Name|patterns|Name|patterns" form; patterns match in either letter case.
#include "support/ComponentsExport.h"

#include <QString>
#include <optional>

class QWidget;

class COMPONENTS_EXPORT OpenFileDialog
{
public:
    QString Filter;
    QString InitDir;
    QWidget* Owner = nullptr;
    QString FileName; // full path of the chosen file after ShowOpen

    // Shows the dialog modally; false when the user cancelled.
    bool ShowOpen();

    // Test seam: the next ShowOpen answers with this path (an empty text cancels)
    // without showing a window.
    static void setNextFileName(std::optional<QString> fileName);
    // The filter in Qt's "Name (patterns);;Name (patterns)" form.
    static QString qtFilter(const QString& filter);
};
