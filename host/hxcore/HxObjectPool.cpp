#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxConnection.h>

#include <algorithm>
#include <cctype>

namespace {
HxObjectPool thePoolInstance;

// Object names become Tcl command names: keep them to one plain word.
std::string sanitized(const char* wanted) {
    std::string name = wanted ? wanted : "";
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.') c = '_';
    if (name.empty()) name = "Object";
    return name;
}
}  // namespace

HxObjectPool* theObjectPool = &thePoolInstance;

std::string HxObjectPool::uniqueName(const char* wantedName) const {
    std::string base = sanitized(wantedName);
    auto taken = [&](const std::string& n) {
        return find(n.c_str()) != nullptr || theInterpreter->isCommand(n.c_str());
    };
    if (!taken(base)) return base;
    for (int i = 2;; ++i) {
        std::string candidate = base + std::to_string(i);
        if (!taken(candidate)) return candidate;
    }
}

std::string HxObjectPool::add(HxObject* object, const char* wantedName) {
    if (!object || contains(object)) return object ? object->getName() : "";
    object->name = uniqueName(wantedName);
    list.emplace_back(object);
    theInterpreter->addObjectCommand(object);
    notifyObservers();
    return object->name;
}

void HxObjectPool::notifyObservers() const {
    for (const auto& observer : observers) observer();
}

void HxObjectPool::detachEditorsOf(HxObject* object) {
    if (auto* editor = mcinterface_cast<HxEditor>(object)) editor->detach();
    // Detaching runs the editors' stopEditing(), which may add objects to the
    // pool or remove some: the editors to detach are picked beforehand.
    std::vector<McHandle<HxEditor>> editors;
    for (const auto& other : list) {
        auto* editor = mcinterface_cast<HxEditor>(other.ptr());
        if (editor && static_cast<HxObject*>(editor->getData()) == object) editors.emplace_back(editor);
    }
    for (const auto& editor : editors)
        if (static_cast<HxObject*>(editor->getData()) == object) editor->detach();
}

bool HxObjectPool::remove(HxObject* object) {
    auto it = std::find(list.begin(), list.end(), object);
    if (it == list.end()) return false;
    McHandle<HxObject> keep = *it;  // stays alive until its command is gone
    detachEditorsOf(object);
    theInterpreter->removeObjectCommand(object);
    // Looked up again: the editors' stopEditing() may have changed the list.
    it = std::find(list.begin(), list.end(), object);
    if (it != list.end()) list.erase(it);
    // Connections hold no reference: the remaining objects' ports let go of it.
    for (const auto& other : list) {
        for (HxPort* port : other->ports()) {
            auto* connection = mcinterface_cast<HxConnection>(port);
            if (connection && connection->getSource() == object) connection->disconnect();
        }
    }
    notifyObservers();
    return true;
}

void HxObjectPool::clear() {
    while (!list.empty()) remove(list.back());
}

HxObject* HxObjectPool::find(const char* name) const {
    for (const auto& obj : list)
        if (obj->name == name) return obj;
    return nullptr;
}

HxObject* HxObjectPool::findOfType(const McTypeInfo* type) const {
    for (const auto& obj : list)
        if (obj->getTypeId() == type) return obj;
    return nullptr;
}

bool HxObjectPool::contains(const HxBase* object) const {
    return std::any_of(list.begin(), list.end(), [&](const McHandle<HxObject>& o) { return o.ptr() == object; });
}

std::string HxObjectPool::rename(HxBase* object, const char* wantedName) {
    auto* obj = static_cast<HxObject*>(object);
    theInterpreter->removeObjectCommand(obj);
    obj->name.clear();
    obj->name = uniqueName(wantedName);
    theInterpreter->addObjectCommand(obj);
    notifyObservers();
    return obj->name;
}
