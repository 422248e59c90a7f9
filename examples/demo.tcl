# The demo: a circular flight around a sample scene, saved, and rendered to a
# numbered PNG sequence in out/demo/ (relative to the folder vorna runs in).

set here [file dirname [info script]]
set scene [load [file join $here scenes plate.iv]]
puts "scene: [$scene info]"

# Frame the scene in the main viewer, then circle it from there.
viewer 0 setSize 320 240
viewer 0 viewAll
set path [create HxKeyframeCameraPath Flight]
$path createCircularPath
$path fire
puts [$path info]

# The same path built from three keyframes, to show the script commands.
set keys [create HxKeyframeCameraPath Keys]
foreach k {0 4 8} {
    viewer 0 setCamera {*}[$path camera $k getPosition] {*}[$path camera $k getAimPoint] {*}[$path camera $k getUpDir]
    $keys append
}
puts [$keys info]
remove $keys

file mkdir out/demo
$path save "Camerapath Inventor" out/demo/flight.civ
puts "saved: out/demo/flight.civ"

movie -object Flight -viewer 0 -frames 48 -size 320 240 -out out/demo/frame_%04d.png
puts "frames: out/demo/frame_0000.png .. frame_0047.png"
