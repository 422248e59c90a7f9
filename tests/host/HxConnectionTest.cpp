// HxConnection: connecting a port to a source object, from C++ and by script.
#include "ScriptTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxConnection.h>

#include <QString>

// Accepts only sources whose name starts with "clock".
class ClockOnlyConnection : public HxConnection {
public:
    using HxConnection::HxConnection;
    bool connect(HxObject* src) override {
        if (src && std::string(src->getName()).rfind("clock", 0) != 0) return false;
        return HxConnection::connect(src);
    }
};

class ConnOwner : public HxObject {
    MC_HEADER(ConnOwner)

public:
    ConnOwner() : portSource(this, "source", QString("Source")), portClock(this, "clockSource", QString("Clock")) {}
    HxConnection portSource;
    ClockOnlyConnection portClock;
};
MC_INIT_CLASS(ConnOwner, HxObject::getClassTypeId())

namespace {

class HxConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"consumer", "clockwork", "other"}) theObjectPool->add(new ConnOwner, name);
        owner = dynamic_cast<ConnOwner*>(theObjectPool->find("consumer"));
        source = theObjectPool->find("clockwork");
    }
    void TearDown() override {
        theObjectPool->clear();
        theMsg->clear();
    }
    static std::string cmd(const std::string& rest) { return "consumer " + rest; }

    ConnOwner* owner = nullptr;
    HxObject* source = nullptr;
};

TEST_F(HxConnectionTest, connectAndDisconnectMarkThePortNewAndHoldNoReference) {
    HxConnection& port = owner->portSource;
    const int refs = source->getRefCount();
    EXPECT_TRUE(port.connect(source));
    EXPECT_EQ(port.getSource(), source);
    EXPECT_TRUE(port.isNew());
    EXPECT_EQ(source->getRefCount(), refs);
    port.untouch();
    port.disconnect();
    EXPECT_EQ(port.getSource(), nullptr);
    EXPECT_TRUE(port.isNew());
}

TEST_F(HxConnectionTest, scriptConnectsReplacesAndDisconnects) {
    EXPECT_EQ(evalOk(cmd("source getSource")), "");
    evalOk(cmd("source connect clockwork"));
    EXPECT_EQ(owner->portSource.getSource(), source);
    EXPECT_TRUE(owner->portSource.isNew());
    evalOk("clockwork setLabel clockRenamed");
    EXPECT_EQ(evalOk(cmd("source getSource")), "clockRenamed");
    evalOk(cmd("source connect other"));
    EXPECT_EQ(evalOk(cmd("source getSource")), "other");
    evalOk(cmd("source disconnect"));
    EXPECT_EQ(owner->portSource.getSource(), nullptr);
    const std::string help = " " + evalOk(cmd("source help")) + " ";
    for (const char* word : {"connect", "disconnect", "getSource", "show"})
        EXPECT_NE(help.find(std::string(" ") + word + " "), std::string::npos) << word;
}

TEST_F(HxConnectionTest, refusalsChangeNothing) {
    evalOk(cmd("source connect clockwork"));
    owner->portSource.untouch();
    EXPECT_EQ(evalError(cmd("source connect nobody")), "connect: no object named \"nobody\"");
    EXPECT_EQ(evalError(cmd("source connect")), "source connect: wrong number of arguments");
    EXPECT_EQ(evalError(cmd("source connect other other")), "source connect: wrong number of arguments");
    EXPECT_EQ(owner->portSource.getSource(), source);
    EXPECT_FALSE(owner->portSource.isNew());
    EXPECT_EQ(evalError(cmd("clockSource connect other")),
              "connect: \"other\" cannot be a source of port \"clockSource\"");
    EXPECT_EQ(owner->portClock.getSource(), nullptr);
}

// The connection holds no reference: a removed source must not stay connected.
TEST_F(HxConnectionTest, removedSourceDisconnects) {
    evalOk(cmd("source connect clockwork"));
    evalOk(cmd("clockSource connect clockwork"));
    evalOk("remove other");
    EXPECT_EQ(owner->portSource.getSource(), source);
    evalOk("remove clockwork");
    EXPECT_EQ(owner->portSource.getSource(), nullptr);
    EXPECT_EQ(owner->portClock.getSource(), nullptr);
    EXPECT_EQ(evalOk(cmd("source getSource")), "");
}

}  // namespace
