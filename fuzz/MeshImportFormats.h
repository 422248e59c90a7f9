// The file extensions the mesh-reader fuzz target chooses from by the first
// byte of its input (none: the format is found by the content).
#pragma once

inline const char* const meshImportExtensions[] = {"", ".stl", ".ply", ".obj", ".off", ".gltf", ".glb", ".dae", ".3ds"};
constexpr int meshImportExtensionCount = sizeof meshImportExtensions / sizeof *meshImportExtensions;
