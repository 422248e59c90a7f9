// A bundle of named parameters: typed values (text, integers, reals) and nested
// bundles, in insertion order. Data objects carry two of them; data files store
// them with the data.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class HxParamBundle {
public:
    // How set() treats a parameter that already exists.
    enum SetMode {
        Replace = 0,       // the new value replaces the old one (its position is kept)
        KeepExisting = 1,  // the old value stays; set() then returns false
    };

    struct Param {
        enum Kind { Text, Integers, Reals, Bundle };
        std::string name;
        Kind kind = Text;
        std::string text;
        std::vector<long long> integers;
        std::vector<double> reals;
        std::unique_ptr<HxParamBundle> bundle;  // for Kind Bundle
    };

    HxParamBundle() = default;
    HxParamBundle(const HxParamBundle& other);
    HxParamBundle& operator=(const HxParamBundle& other);
    HxParamBundle(HxParamBundle&&) noexcept = default;
    HxParamBundle& operator=(HxParamBundle&&) noexcept = default;

    // Each returns true when the value was stored. Names are non-empty and
    // contain no control characters; a bad name stores nothing.
    bool set(const char* name, const char* value, int mode);
    bool set(const char* name, int n, const long long* values, int mode);
    bool set(const char* name, int n, const double* values, int mode);
    // The nested bundle of that name, created empty when missing (a parameter of
    // another kind with that name is replaced).
    HxParamBundle& bundle(const char* name);

    const Param* find(const char* name) const;
    // The text of a Text parameter; false when missing or of another kind.
    bool getText(const char* name, std::string& value) const;
    bool remove(const char* name);
    void clear() {
        params.clear();
        index.clear();
    }

    int size() const { return static_cast<int>(params.size()); }
    const Param& at(int i) const { return params[static_cast<std::size_t>(i)]; }

    bool operator==(const HxParamBundle& other) const;
    bool operator!=(const HxParamBundle& other) const { return !(*this == other); }

private:
    Param* findMutable(const char* name);
    // Stores `param` (its name and value already copied, so they may have come
    // from this very bundle) under set()'s rules.
    bool store(Param&& param, int mode);
    // Appends a parameter whose name is not in the bundle yet.
    void append(Param&& param);
    std::vector<Param> params;
    // The position of each parameter in `params` by name: lookups, and so set()
    // and reading a file, cost the same however many parameters there are.
    std::unordered_map<std::string, std::size_t> index;
};
