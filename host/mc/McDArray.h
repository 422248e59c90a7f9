// Growable array with an element count. Elements are proper C++ objects
// (constructed, copied and destroyed), so it may hold handles.
#pragma once
#include <algorithm>
#include <cassert>
#include <functional>
#include <vector>

template <class T>
class McDArray {
public:
    McDArray() = default;
    explicit McDArray(int n) : items(static_cast<std::size_t>(n)) {}

    int size() const { return static_cast<int>(items.size()); }
    bool isEmpty() const { return items.empty(); }

    // New elements are value-initialised; surplus ones are destroyed.
    void resize(int n) { items.resize(static_cast<std::size_t>(n < 0 ? 0 : n)); }
    void clear() { items.clear(); }
    void remax(int capacity) { items.reserve(static_cast<std::size_t>(capacity)); }

    int append(const T& value) {
        items.push_back(value);
        return size() - 1;
    }
    // Inserts n copies of values[0..n-1] before position pos (0 <= pos <= size()).
    // values may point into this array.
    void insert(int pos, int n, const T* values) {
        assert(pos >= 0 && pos <= size());
        if (n <= 0) return;
        // A vector's range insert must not read from the vector itself: the
        // elements move before they are copied. Copy them out first.
        const std::less<const T*> before;  // a total order, also for unrelated pointers
        if (before(values, dataPtr() + size()) && before(dataPtr(), values + n)) {
            std::vector<T> copies(values, values + n);
            items.insert(items.begin() + pos, copies.begin(), copies.end());
        } else {
            items.insert(items.begin() + pos, values, values + n);
        }
    }
    void insert(int pos, const T& value) {
        assert(pos >= 0 && pos <= size());
        items.insert(items.begin() + pos, value);  // safe when value is an element
    }
    // Removes n elements starting at pos, moving the later ones down.
    void remove(int pos, int n = 1) {
        assert(pos >= 0 && pos + n <= size());
        items.erase(items.begin() + pos, items.begin() + pos + n);
    }
    void fill(const T& value) { std::fill(items.begin(), items.end(), value); }

    T& operator[](int i) {
        assert(i >= 0 && i < size());
        return items[static_cast<std::size_t>(i)];
    }
    const T& operator[](int i) const {
        assert(i >= 0 && i < size());
        return items[static_cast<std::size_t>(i)];
    }
    T& last() { return items.back(); }
    const T& last() const { return items.back(); }
    T* dataPtr() { return items.data(); }
    const T* dataPtr() const { return items.data(); }

    auto begin() { return items.begin(); }
    auto end() { return items.end(); }
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }

private:
    std::vector<T> items;
};
