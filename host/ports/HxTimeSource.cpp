#include <hxcore/HxObjectPool.h>
#include <ports/HxTimeSource.h>

#include <QCoreApplication>
#include <vector>

MC_INIT_CLASS(HxTimeSource, HxObject::getClassTypeId())

HxTimeSource::HxTimeSource() : portTime(this, "time", QCoreApplication::translate("HxTimeSource", "Time"), false, 2) {
    portTime.setMinMax(0, 100);
    portTime.setIncrement(1);
}

HxTimeSource::~HxTimeSource() = default;

void HxTimeSource::info() {
    float min, max;
    portTime.getMinMax(min, max);
    infoTag(QCoreApplication::translate("HxTimeSource", "Time:"),
            QString::asprintf("%g (range %g .. %g)", portTime.getValue(), min, max));
}

void HxTimeSource::compute() {
    if (!portTime.isNew()) return;
    // Collected first: an object that fires may change the pool.
    std::vector<McHandle<HxObject>> targets;
    for (const auto& object : theObjectPool->objects()) {
        if (object.ptr() == this) continue;
        for (HxPort* port : object->ports()) {
            auto* time = dynamic_cast<HxPortTime*>(port);
            if (time && time->getSource() == this) {
                time->setValue(portTime.getValue());
                targets.emplace_back(object.ptr());
                break;
            }
        }
    }
    for (auto& target : targets) target->fire();
}
