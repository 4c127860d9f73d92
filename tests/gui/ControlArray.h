#pragma once

#include <QObject>
#include <QVariant>

// The elements of a control array (buttons, sliders, menus, menu items) share one object name and carry their
// index in the property "index".
template <typename T> T *element(const QObject &window, const char *name, int index)
{
    for (T *child : window.findChildren<T *>(QString::fromLatin1(name))) {
        if (child->property("index").toInt() == index)
            return child;
    }
    return nullptr;
}
