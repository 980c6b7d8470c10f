// The browser driver of the platform (Emscripten: emscripten/html5.h for keys, mouse, focus and
// gamepads, the page's canvas, Web Audio and the browser's own decoders). Built only by the
// browser build (cmake/web.cmake); the native build never compiles this folder.
//
// The game keeps its own message loop: waiting for events and presenting a frame give the
// browser its turn (ASYNCIFY), so modal windows and nested loops work unchanged.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/web/web_input.h"

namespace platform::web {

// Builds the full browser platform. Services the browser lacks (no Web Audio, no gamepads) stay
// in a harmless do-nothing state. Never null.
std::unique_ptr<Platform> Make();

// The address's query without the '?' ("edit" for ...index.html?edit); "" when there is none.
std::string PageQuery();

// The browser's language as navigator.language gives it ("en-US"); "" when it gives none.
std::string BrowserLanguage();

// Makes `dir` (created when missing) a folder kept in the browser's IndexedDB: its files as last
// saved are read in now, and every change is written back within about a second and when the
// page is hidden or left. False (the folder then lasts only as long as the page) when the
// browser refuses IndexedDB.
bool KeepFolder(const std::string& dir);

// Tells the page the game has ended (its last window closed), so it can say so.
void ReportEnded(int status);

}  // namespace platform::web
