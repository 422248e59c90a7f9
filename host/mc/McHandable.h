// Intrusive reference count for host objects; the last unref() calls notifyDelete().
#pragma once

class McHandable {
public:
    McHandable() = default;
    McHandable(const McHandable&) : refCount(0) {}
    McHandable& operator=(const McHandable&) { return *this; }
    virtual ~McHandable();

    // What happens when the count drops to zero: by default the object deletes itself.
    virtual void notifyDelete();

    void ref() const { ++refCount; }
    // Drops one reference; at zero calls notifyDelete(). Unref without ref deletes too.
    void unref() const;
    // Drops one reference without ever deleting.
    void unrefNoDelete() const {
        if (refCount > 0) --refCount;
    }
    int getRefCount() const { return refCount; }

private:
    mutable int refCount = 0;
};
