// Set-up shared by the fuzz targets: the host started once as a session starts
// it (scene database, script commands), with its console and the scene
// library's error reports kept quiet, since the targets feed them garbage.
#pragma once
#include <hxcore/HxApplication.h>
#include <hxcore/HxMessage.h>
#include <session/HxSession.h>

#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>

inline void startQuietHost() {
    HxSession::start();
    theMsg->setEchoToStdout(false);
    SoDebugError::setHandlerCallback([](const SoError*, void*) {}, nullptr);
    SoReadError::setHandlerCallback([](const SoError*, void*) {}, nullptr);
}

// Drops the console's record of one input's messages, so a long run does not
// grow with it.
inline void forgetMessages() { theMsg->clear(); }
