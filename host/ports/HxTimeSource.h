// The animation time of a session: an object with a time port that other time
// ports connect to (`obj time connect source`). When its time changes and it
// fires, every connected port takes the time and its object fires.
#pragma once
#include <hxcore/HxObject.h>
#include <ports/HxPortTime.h>

class HxTimeSource : public HxObject {
    MC_HEADER(HxTimeSource)

public:
    HxTimeSource();
    ~HxTimeSource() override;

    HxPortTime portTime;

    // Hands the time on to the connected ports when it is new.
    void compute() override;
    void info() override;
};
