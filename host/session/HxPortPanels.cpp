#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <ports/HxPort.h>
#include <session/HxPortPanels.h>

#include <QApplication>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <map>

namespace {
std::map<const HxBase*, QPointer<QWidget>>& panels() {
    static std::map<const HxBase*, QPointer<QWidget>> byObject;
    return byObject;
}

// The widget rows of the object's ports, one under the other.
QWidget* createPanel(HxObject* object) {
    auto* panel = new QWidget;
    panel->setObjectName(QString::fromUtf8(object->getName()));
    auto* layout = new QVBoxLayout(panel);
    for (HxPort* port : object->ports()) layout->addWidget(port->createWidget(panel));
    return panel;
}

// The pool tells of every addition and removal as it happens, while a removed
// object is still alive: its panel goes before its ports do. Every object of
// the pool has an entry; it stays empty when the object came while there was
// no widget application (a plain core application has none).
void updatePanels() {
    auto& all = panels();
    for (auto it = all.begin(); it != all.end();) {
        if (theObjectPool->contains(it->first)) {
            ++it;
            continue;
        }
        delete it->second.data();
        it = all.erase(it);
    }
    const bool widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    for (const auto& object : theObjectPool->objects()) {
        if (all.count(object.ptr())) continue;
        all.emplace(object.ptr(), widgets ? createPanel(object.ptr()) : nullptr);
    }
}
}  // namespace

void HxPortPanels::followPool() { theObjectPool->addObserver(updatePanels); }

QWidget* HxPortPanels::find(const HxBase* object) {
    const auto found = panels().find(object);
    return found == panels().end() ? nullptr : found->second.data();
}
