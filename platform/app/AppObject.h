#pragma once
// The application object that the outside components receive to tell whose data
// they handle: the program's company, product and executable names and its title.
#include <QString>

struct AppObject
{
    QString CompanyName;
    QString ProductName;
    QString EXEName;
    QString Title;
};
