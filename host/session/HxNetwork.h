// Saved networks: a Tcl script that re-creates every object of the pool with its
// data and ports, and places the viewers' cameras, when sourced in a fresh session.
#pragma once
#include <string>

// Writes the network script `file`; data files go beside it. Returns false with
// `error` set when anything could not be written; the script and the data files
// are then all left as they were.
bool hxSaveNetwork(const std::string& file, std::string& error);
