#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// A window's control by the name its table gives it (every control carries
// it as objectName); a test that names a control the window lacks stops.
template <class T> T* child(const QObject& window, const char* name)
{
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control)
        qFatal("%s has no control named %s", qPrintable(window.objectName()), name);
    return control;
}
