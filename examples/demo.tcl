# The demo: a circular flight around a sample scene, laid out with the keyframe
# path editor, saved, and rendered to a numbered PNG sequence in out/demo/
# (relative to the folder vorna runs in).

set here [file dirname [info script]]
set scene [load [file join $here scenes plate.iv]]
puts "scene: [$scene info]"
file mkdir out/demo

# Frame the scene in the main viewer: the editor circles it from there.
viewer 0 setSize 320 240
viewer 0 viewAll
set path [create HxKeyframeCameraPath Flight]

# Edit the path: the editor shows it from outside in the path viewer (viewer 5),
# a glyph at each keyframe and the line the camera flies along.
set editor [edit $path]
viewer 5 setSize 320 240
$editor createCircularPath
puts [$path info]
$editor constv
set times [$editor portTimeSlider getKeyframes]
puts [format "editor: %d keyframes re-timed for constant velocity, %.2f .. %.2f" \
    [llength $times] [lindex $times 0] [lindex $times end]]
# Look at the circle from above and aside, with everything in view.
viewer 5 setCamera 0 10 12   0 0 0   0 1 0
viewer 5 viewAll
viewer 5 snapshot out/demo/path-viewer.png
puts "saved: out/demo/path-viewer.png (the path viewer)"
$editor detach

# The same path built from three keyframes, to show the script commands.
set keys [create HxKeyframeCameraPath Keys]
foreach k {0 4 8} {
    viewer 0 setCamera {*}[$path camera $k getPosition] {*}[$path camera $k getAimPoint] {*}[$path camera $k getUpDir]
    $keys append
}
puts [$keys info]
remove $keys

# The speed profile: four of the circle's keyframes flown at uneven times, whose
# plot shows the speed jump from segment to segment until constant-velocity
# re-timing evens it out.
set uneven [create HxKeyframeCameraPath Uneven]
set ed [edit $uneven]
foreach k {0 4 8 12} t {0 3 4 10} {
    viewer 0 setCamera {*}[$path camera $k getPosition] {*}[$path camera $k getAimPoint] {*}[$path camera $k getUpDir]
    $ed portTimeSlider setValue $t
    $ed portKCPEButtons hit 0
    $ed fire
}
$ed plot out/demo/speed-before.png -size 640 360
puts "speed before re-timing (highest / lowest): [$ed speed -summary]"
$ed constv
$ed plot out/demo/speed.png -size 640 360
puts "speed after re-timing (highest / lowest): [$ed speed -summary]"
puts "plots: out/demo/speed-before.png, out/demo/speed.png"
$ed detach
remove $uneven

$path fire
$path save "Camerapath Inventor" out/demo/flight.civ
puts "saved: out/demo/flight.civ"

movie -object Flight -viewer 0 -frames 48 -size 320 240 -out out/demo/frame_%04d.png
puts "frames: out/demo/frame_0000.png .. frame_0047.png"
movie -object Flight -viewer 0 -frames 48 -size 320 240 -fps 24 -out out/demo/flight.mp4
puts "video: out/demo/flight.mp4"
