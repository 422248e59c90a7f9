# A flight around a mesh read from a PLY file (examples/scenes/ring.ply, with a
# colour at each vertex): load frames it, a circular keyframe path circles it
# from above, and the flight is rendered offscreen to out/mesh-flight/ (a
# numbered PNG sequence and a video). Any format `load` reads will do: STL,
# PLY, OBJ, glTF, OFF, 3DS, COLLADA ... (set meshFile before sourcing this
# script to fly around another).

set here [file dirname [info script]]
if {![info exists meshFile]} { set meshFile [file join $here scenes ring.ply] }
set mesh [load $meshFile]
puts "mesh: [$mesh info]"
file mkdir out/mesh-flight

# Look down on the mesh at an angle, with all of it in view; the path circles
# it from there.
viewer 0 setSize 320 240
viewer 0 setCamera 0 3 6   0 0 0   0 1 0
viewer 0 viewAll
set path [create HxKeyframeCameraPath Flight]
set editor [edit $path]
$editor createCircularPath
$editor constv
$editor detach
puts [$path info]

movie -object Flight -viewer 0 -frames 36 -size 320 240 -out out/mesh-flight/frame_%04d.png
puts "frames: out/mesh-flight/frame_0000.png .. frame_0035.png"
movie -object Flight -viewer 0 -frames 72 -size 320 240 -fps 24 -out out/mesh-flight/flight.mp4
puts "video: out/mesh-flight/flight.mp4"
