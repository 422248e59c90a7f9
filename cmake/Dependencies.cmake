set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)
find_package(GLEW REQUIRED)
find_package(Coin CONFIG REQUIRED)
find_package(Qt5 REQUIRED COMPONENTS Core Gui Widgets OpenGL)
find_package(SoQt CONFIG REQUIRED)
find_package(TCL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
# Mesh files (STL, PLY, OBJ, glTF ...) that load reads into scenes.
find_package(assimp CONFIG REQUIRED)
# Video files of the movie command.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)

# Tcl has no CMake target of its own. This one is exported with the host; the
# installed VornaConfig.cmake fills it with the Tcl found where it is used.
add_library(vorna_tcl INTERFACE)
target_include_directories(vorna_tcl SYSTEM INTERFACE $<BUILD_INTERFACE:${TCL_INCLUDE_PATH}>)
target_link_libraries(vorna_tcl INTERFACE $<BUILD_INTERFACE:${TCL_LIBRARY}>)
