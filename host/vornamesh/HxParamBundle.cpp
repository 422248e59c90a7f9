#include <vornamesh/HxParamBundle.h>

#include <cmath>
#include <cstring>

namespace {
bool isValidName(const char* name) {
    if (!name || !*name) return false;
    for (const char* c = name; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7f) return false;
    }
    return true;
}

// Equal values: bit-for-bit except that any two NaNs compare equal, so a bundle
// equals its copy and its read-back copy also when it holds NaNs.
bool sameReal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

bool sameReals(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameReal(a[i], b[i])) return false;
    return true;
}

bool isValidMode(int mode) { return mode == HxParamBundle::Replace || mode == HxParamBundle::KeepExisting; }
}  // namespace

HxParamBundle::HxParamBundle(const HxParamBundle& other) { *this = other; }

HxParamBundle& HxParamBundle::operator=(const HxParamBundle& other) {
    if (this == &other) return *this;
    std::vector<Param> copy(other.params.size());
    for (std::size_t i = 0; i < copy.size(); ++i) {
        const Param& from = other.params[i];
        Param& to = copy[i];
        to.name = from.name;
        to.kind = from.kind;
        to.text = from.text;
        to.integers = from.integers;
        to.reals = from.reals;
        if (from.bundle) to.bundle = std::make_unique<HxParamBundle>(*from.bundle);
    }
    // Built aside first: `other` may be nested inside this bundle.
    auto copiedIndex = other.index;
    params = std::move(copy);
    index = std::move(copiedIndex);
    return *this;
}

HxParamBundle::Param* HxParamBundle::findMutable(const char* name) {
    if (!name) return nullptr;
    const auto found = index.find(name);
    return found == index.end() ? nullptr : &params[found->second];
}

void HxParamBundle::append(Param&& param) {
    index.emplace(param.name, params.size());
    params.push_back(std::move(param));
}

const HxParamBundle::Param* HxParamBundle::find(const char* name) const {
    return const_cast<HxParamBundle*>(this)->findMutable(name);
}

bool HxParamBundle::store(Param&& param, int mode) {
    if (!isValidMode(mode)) return false;
    Param* p = findMutable(param.name.c_str());
    if (p && mode == KeepExisting) return false;
    if (p)
        *p = std::move(param);
    else
        append(std::move(param));
    return true;
}

bool HxParamBundle::set(const char* name, const char* value, int mode) {
    if (!isValidName(name) || !value) return false;
    Param p;
    p.name = name;
    p.kind = Param::Text;
    p.text = value;
    return store(std::move(p), mode);
}

bool HxParamBundle::set(const char* name, int n, const long long* values, int mode) {
    if (!isValidName(name) || n < 0 || (n > 0 && !values)) return false;
    Param p;
    p.name = name;
    p.kind = Param::Integers;
    p.integers.assign(values, values + n);
    return store(std::move(p), mode);
}

bool HxParamBundle::set(const char* name, int n, const double* values, int mode) {
    if (!isValidName(name) || n < 0 || (n > 0 && !values)) return false;
    Param p;
    p.name = name;
    p.kind = Param::Reals;
    p.reals.assign(values, values + n);
    return store(std::move(p), mode);
}

HxParamBundle& HxParamBundle::bundle(const char* name) {
    if (!isValidName(name)) {
        // Nothing may be stored under a bad name; the caller still gets a bundle
        // to fill, but one that belongs to no parameter and is emptied on each use.
        thread_local HxParamBundle discarded;
        discarded.clear();
        return discarded;
    }
    Param* p = findMutable(name);
    if (p && p->kind == Param::Bundle) return *p->bundle;
    Param fresh;
    fresh.name = name;  // copied before `params` may grow under it
    fresh.kind = Param::Bundle;
    fresh.bundle = std::make_unique<HxParamBundle>();
    HxParamBundle& created = *fresh.bundle;
    if (p)
        *p = std::move(fresh);
    else
        append(std::move(fresh));
    return created;
}

bool HxParamBundle::getText(const char* name, std::string& value) const {
    const Param* p = find(name);
    if (!p || p->kind != Param::Text) return false;
    value = p->text;
    return true;
}

bool HxParamBundle::remove(const char* name) {
    const auto found = name ? index.find(name) : index.end();
    if (found == index.end()) return false;
    const std::size_t position = found->second;
    index.erase(found);
    params.erase(params.begin() + static_cast<std::ptrdiff_t>(position));
    for (std::size_t i = position; i < params.size(); ++i) index[params[i].name] = i;
    return true;
}

bool HxParamBundle::operator==(const HxParamBundle& other) const {
    if (params.size() != other.params.size()) return false;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const Param& a = params[i];
        const Param& b = other.params[i];
        if (a.name != b.name || a.kind != b.kind) return false;
        switch (a.kind) {
            case Param::Text:
                if (a.text != b.text) return false;
                break;
            case Param::Integers:
                if (a.integers != b.integers) return false;
                break;
            case Param::Reals:
                if (!sameReals(a.reals, b.reals)) return false;
                break;
            case Param::Bundle:
                if (*a.bundle != *b.bundle) return false;
                break;
        }
    }
    return true;
}
