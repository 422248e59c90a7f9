// Pointer to a QObject that becomes null when the object is destroyed. Does not own.
#pragma once
#include <QPointer>

template <class T>
class QxGuardedPtr : public QPointer<T> {
public:
    using QPointer<T>::QPointer;
    using QPointer<T>::operator=;
};
