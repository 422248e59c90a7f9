// HxConnection: connecting a port to a source object, from C++ and by script.
#include "ScriptTestSupport.h"

#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxConnection.h>

#include <QString>
#include <gtest/gtest.h>
#include <string>

// A port that accepts only sources whose name starts with "clock".
class ClockOnlyConnection : public HxConnection {
public:
    using HxConnection::HxConnection;
    bool connect(HxObject* src) override {
        if (src && std::string(src->getName()).rfind("clock", 0) != 0) return false;
        return HxConnection::connect(src);
    }
};

// An object with a plain connection port "source" and a choosy one "clockSource".
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
        owner = new ConnOwner;
        ownerName = theObjectPool->add(owner, "consumer");
        source = new ConnOwner;
        sourceName = theObjectPool->add(source, "clock");
        other = new ConnOwner;
        otherName = theObjectPool->add(other, "other");
    }
    void TearDown() override { theObjectPool->clear(); }

    std::string cmd(const std::string& rest) const { return ownerName + " " + rest; }

    McHandle<ConnOwner> owner, source, other;
    std::string ownerName, sourceName, otherName;
};

TEST_F(HxConnectionTest, connectAndDisconnectInCode) {
    HxConnection& port = owner->portSource;
    EXPECT_EQ(port.getSource(), nullptr);
    EXPECT_TRUE(port.connect(source));
    EXPECT_EQ(port.getSource(), source.ptr());
    EXPECT_TRUE(port.isNew()) << "a new connection is a change";
    port.untouch();
    port.disconnect();
    EXPECT_EQ(port.getSource(), nullptr);
    EXPECT_TRUE(port.isNew());
}

TEST_F(HxConnectionTest, connectionHoldsNoReference) {
    const int before = source->getRefCount();
    owner->portSource.connect(source);
    EXPECT_EQ(source->getRefCount(), before);
}

TEST_F(HxConnectionTest, connectByScript) {
    evalOk(cmd("source connect " + sourceName));
    EXPECT_EQ(owner->portSource.getSource(), source.ptr());
    EXPECT_EQ(evalOk(cmd("source getSource")), sourceName);
    EXPECT_TRUE(owner->portSource.isNew());
}

TEST_F(HxConnectionTest, reconnectReplacesTheSource) {
    evalOk(cmd("source connect " + sourceName));
    evalOk(cmd("source connect " + otherName));
    EXPECT_EQ(owner->portSource.getSource(), other.ptr());
    EXPECT_EQ(evalOk(cmd("source getSource")), otherName);
}

TEST_F(HxConnectionTest, disconnectByScript) {
    evalOk(cmd("source connect " + sourceName));
    evalOk(cmd("source disconnect"));
    EXPECT_EQ(owner->portSource.getSource(), nullptr);
    EXPECT_EQ(evalOk(cmd("source getSource")), "");
}

TEST_F(HxConnectionTest, getSourceOfAnUnconnectedPortIsEmpty) { EXPECT_EQ(evalOk(cmd("source getSource")), ""); }

TEST_F(HxConnectionTest, connectToAnUnknownObjectChangesNothing) {
    evalOk(cmd("source connect " + sourceName));
    owner->portSource.untouch();
    EXPECT_EQ(evalError(cmd("source connect nobody")), "connect: no object named \"nobody\"");
    EXPECT_EQ(owner->portSource.getSource(), source.ptr());
    EXPECT_FALSE(owner->portSource.isNew());
}

TEST_F(HxConnectionTest, connectWithAWrongCountChangesNothing) {
    evalOk(cmd("source connect " + sourceName));
    EXPECT_EQ(evalError(cmd("source connect")), "source connect: wrong number of arguments");
    EXPECT_EQ(evalError(cmd("source connect " + otherName + " " + otherName)),
              "source connect: wrong number of arguments");
    EXPECT_EQ(owner->portSource.getSource(), source.ptr());
}

TEST_F(HxConnectionTest, refusedSourceIsAnErrorAndChangesNothing) {
    EXPECT_EQ(evalError(cmd("clockSource connect " + otherName)),
              "connect: \"" + otherName + "\" cannot be a source of port \"clockSource\"");
    EXPECT_EQ(owner->portClock.getSource(), nullptr);
    evalOk(cmd("clockSource connect " + sourceName));
    EXPECT_EQ(owner->portClock.getSource(), source.ptr());
}

TEST_F(HxConnectionTest, connectionFollowsARenamedSource) {
    evalOk(cmd("source connect " + sourceName));
    evalOk(sourceName + " setLabel renamedClock");
    EXPECT_EQ(evalOk(cmd("source getSource")), "renamedClock");
}

// The connection holds no reference, so a source leaving the session must not
// leave the port pointing at it.
TEST_F(HxConnectionTest, removedSourceDisconnects) {
    evalOk(cmd("source connect " + sourceName));
    evalOk(cmd("clockSource connect " + sourceName));
    source = nullptr;  // the pool holds the last reference now
    evalOk("remove " + sourceName);
    EXPECT_EQ(owner->portSource.getSource(), nullptr);
    EXPECT_EQ(owner->portClock.getSource(), nullptr);
    EXPECT_EQ(evalOk(cmd("source getSource")), "");
}

TEST_F(HxConnectionTest, removingAnotherObjectKeepsTheConnection) {
    evalOk(cmd("source connect " + sourceName));
    evalOk("remove " + otherName);
    EXPECT_EQ(owner->portSource.getSource(), source.ptr());
}

TEST_F(HxConnectionTest, portHelpListsTheConnectionCommands) {
    const std::string help = evalOk(cmd("source help"));
    for (const char* word : {"connect", "disconnect", "getSource", "show", "hide"})
        EXPECT_NE((" " + help + " ").find(std::string(" ") + word + " "), std::string::npos) << word;
}

}  // namespace
