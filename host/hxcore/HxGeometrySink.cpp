#include <hxcore/HxGeometrySink.h>

namespace {
// Constant-initialised: objects made while the libraries are still being
// initialised find it in place.
HxGeometrySink* current = nullptr;
}  // namespace

HxGeometrySink* HxGeometrySink::installed() { return current; }

void HxGeometrySink::install(HxGeometrySink* sink) { current = sink; }
