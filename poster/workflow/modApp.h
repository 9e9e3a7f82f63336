#pragma once
// The program's application object and the registration of the outside component
// classes that it creates by class identifier.
#include "platform/app/AppObject.h"

// Company "Olvane", title "Olvane - Brivet poster"; also the title of message boxes
// whose caller gives none.
const AppObject& App();
// Makes SettingsStore and DiaryFileReader creatable; safe to call more than once.
void RegisterComponentClasses();
