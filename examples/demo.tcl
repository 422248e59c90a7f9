# The demo: builds a keyframe camera path from the main viewer's camera, flies
# it, and prints what it did.

set path [create HxKeyframeCameraPath FlightPath]

# Three keyframes: look at the origin from three places.
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
$path append
viewer 0 setCamera 10 2 0   0 0 0   0 1 0
$path append
viewer 0 setCamera 0 4 -10  0 0 0   0 1 0
$path append
$path fire
puts [$path info]

# Fly to the middle of the path and show where the main viewer's camera is.
$path time setValue 10
$path fire
puts "camera at t = 10: [viewer 0 getCameraPosition]"

# A circular flight around the current view, re-timed for an even speed.
set circle [create HxKeyframeCameraPath Circle]
viewer 0 setCamera 0 0 10   0 0 0   0 1 0
$circle createCircularPath
puts [$circle info]
