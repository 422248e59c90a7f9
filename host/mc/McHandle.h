// Counted pointer: holds one reference to an Inventor node (SoBase::ref/unref)
// or to a host object (McHandable::ref/unref). Copying takes another reference.
#pragma once
#include <utility>

template <class T>
class McHandle {
public:
    McHandle() = default;
    McHandle(T* p) : obj(p) {
        if (obj) obj->ref();
    }
    McHandle(const McHandle& other) : McHandle(other.obj) {}
    McHandle(McHandle&& other) noexcept : obj(std::exchange(other.obj, nullptr)) {}
    template <class U>
    McHandle(const McHandle<U>& other) : McHandle(static_cast<T*>(other.ptr())) {}
    ~McHandle() { release(); }

    McHandle& operator=(T* p) {
        if (p) p->ref();  // first: p may be kept alive only by this handle
        release();
        obj = p;
        return *this;
    }
    McHandle& operator=(const McHandle& other) { return *this = other.obj; }
    McHandle& operator=(McHandle&& other) noexcept {
        if (this != &other) {
            // Take other's object first: other may belong to what release() frees.
            T* p = std::exchange(other.obj, nullptr);
            release();
            obj = p;
        }
        return *this;
    }

    T* ptr() const { return obj; }
    T* operator->() const { return obj; }
    T& operator*() const { return *obj; }
    operator T*() const { return obj; }

private:
    void release() {
        if (obj) std::exchange(obj, nullptr)->unref();
    }
    T* obj = nullptr;
};
