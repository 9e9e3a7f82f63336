#pragma once
// AboutBox: the about window of a program window.
#include "platform/app/AppObject.h"
#include "support/ComponentsExport.h"

class QPixmap;
class QWidget;

COMPONENTS_EXPORT void ShowAboutBox(QWidget* owner, const AppObject& app, const QString& text,
                                    const QPixmap* picture, const QString& dedication);
