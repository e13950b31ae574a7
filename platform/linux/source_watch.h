// Reload on save: the shader source files the program compiles, watched with inotify, so that a save
// can count as an F5 press where the global keyboard cannot reach us (keyboard.cpp decides when).
#pragma once

#include <string>
#include <vector>

namespace fxplatform {
namespace source_watch {

// A file D3DXCompileShaderFromFileA was asked to compile; watched from start() on.
void note(const char* path);
// Starts watching the noted files' folders (and those of files noted later), so that a save by
// rename is seen too. False when inotify cannot be used.
bool start();
bool running();
// True once per save of a watched file: after its last change, when it has been quiet for a moment
// (an editor may write a file in several steps). Reads what arrived since the last call; never blocks.
bool saved();
// The noted files' names (those in one folder, if given), for messages.
std::string names(const std::string& folder = "");
// The folders whose watch has ended since the last call (deleted, unmounted, or gone before the start):
// saves there are seen no more. Each folder once.
std::vector<std::string> take_lost_folders();
// Stops watching and forgets the files.
void stop();

}  // namespace source_watch
}  // namespace fxplatform
