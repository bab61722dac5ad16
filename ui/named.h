// Widgets and actions named for finding them again (QObject::findChild in the
// tests, the style sheet), created and named in one expression.
#pragma once

#include <QString>

namespace quillon {

template <class Object>
Object* Named(Object* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

}  // namespace quillon
