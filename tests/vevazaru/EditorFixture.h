// The editor's tests: a scene in every viewer, a keyframe path and its editor in the object pool.
#pragma once
#include "HxKeyframeCameraPathEditor.h"

#include <WidgetApplication.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>

#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <vector>

class EditorFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }

    // A box of the given size whose centre lies at `centre`.
    void showBox(const SbVec3f& centre, const SbVec3f& size) {
        auto* place = new SoTranslation;
        place->translation.setValue(centre);
        auto* box = new SoCube;
        box->width = size[0], box->height = size[1], box->depth = size[2];
        scene->addChild(place);
        scene->addChild(box);
    }
    // Keyframes at the times, their cameras looking down -z from a row along x, 10 apart.
    void addKeyframes(const std::vector<float>& times) {
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        for (std::size_t k = 0; k < times.size(); ++k) {
            camera->position.setValue(10.0f * float(k), 0, 0);
            path->addKeyframe(times[k], camera);
        }
    }
    void SetUp() override {
        theController->setGeom(scene, nullptr, 1);
        theObjectPool->add(path, "path");
        theObjectPool->add(editor, "cameraPathEditor");
    }
    void TearDown() override {
        theObjectPool->clear();
        theController->setGeom(scene, nullptr, 0);
        theController->reset();
        // Playback hands its last reference to the editor back through the queue.
        HxApplication::handlePendingEvents();
        theMsg->clear();
    }

    McHandle<SoSeparator> scene = new SoSeparator;
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    McHandle<HxKeyframeCameraPathEditor> editor = new HxKeyframeCameraPathEditor;
};
