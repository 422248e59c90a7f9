// Base of camera paths: data objects that map a time (seconds) to a camera.
// Also the camera helpers that place a camera by position, aim point and up
// direction and read those back; they are the viewer layer's camera maths
// (viewer/HxCameraMath.h), offered here under the names camera paths use.
#pragma once
#include <hxcore/HxData.h>
#include <viewer/HxCameraMath.h>

#include <Inventor/SbLinear.h>

class SoCamera;

class VeVazaruPath : public HxData {
    MC_ABSTRACT_HEADER(VeVazaruPath)

public:
    VeVazaruPath();
    ~VeVazaruPath() override;

    virtual bool isClosed() const = 0;
    virtual float getDuration() const = 0;
    virtual float getTime(int keyframe) const = 0;
    // A new camera for time t; the caller owns it (its reference count is 0).
    virtual SoCamera* getCamera(float t) = 0;
    virtual void getCamera(float t, SoCamera& camera) = 0;

    // The point the camera looks at (HxCameraMath::aimPoint).
    static void AIMPOINT(const SoCamera* camera, SbVec3f& aim) { aim = HxCameraMath::aimPoint(camera); }
    // The camera's up direction, unit length (HxCameraMath::upDirection).
    static void UPDIR(const SoCamera* camera, SbVec3f& up) { up = HxCameraMath::upDirection(camera); }
    static SbVec3f aimPointOf(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
        return HxCameraMath::aimPointOf(position, orientation, focalDistance);
    }
    static SbVec3f upDirOf(const SbRotation& orientation) { return HxCameraMath::upDirOf(orientation); }
    // Placing a camera and checking its numbers: see HxCameraMath.
    static void setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
        HxCameraMath::setCamera(camera, position, aim, up);
    }
    static bool placeCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
        return HxCameraMath::placeCamera(camera, position, aim, up);
    }
    static bool canPlaceCamera(const SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
        return HxCameraMath::canPlaceCamera(camera, position, aim, up);
    }
    static bool isFinite(const SoCamera* camera) { return HxCameraMath::isFinite(camera); }
    static bool isFinite(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
        return HxCameraMath::isFinite(position, orientation, focalDistance);
    }
};
