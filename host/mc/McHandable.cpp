#include <mc/McHandable.h>

McHandable::~McHandable() = default;

void McHandable::notifyDelete() { delete this; }

void McHandable::unref() const {
    if (refCount > 0) --refCount;
    if (refCount == 0) const_cast<McHandable*>(this)->notifyDelete();
}
