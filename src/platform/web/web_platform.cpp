#include "platform/web/web_platform.h"

#include <emscripten.h>

#include "platform/web/web_internal.h"

namespace platform::web {
namespace {

EM_JS(char*, kx_page_query, (), {
  var q = (window.location && window.location.search) || "";
  if (q.charAt(0) == '?') q = q.substring(1);
  var n = lengthBytesUTF8(q) + 1;
  var p = _malloc(n);
  stringToUTF8(q, p, n);
  return p;
});

EM_JS(char*, kx_browser_language, (), {
  var l = (navigator && navigator.language) || "";
  var n = lengthBytesUTF8(l) + 1;
  var p = _malloc(n);
  stringToUTF8(l, p, n);
  return p;
});

// Mounts IndexedDB's copy of `dir` and reads it in; afterwards the folder is written back once a
// second while something changed (IDBFS compares modification times, so an unchanged folder costs
// a listing) and when the page is hidden or left.
EM_JS(int, kx_keep_folder, (const char* path), {
  var dir = UTF8ToString(path);
  return Asyncify.handleSleep(function(wakeUp) {
    try {
      var parts = dir.split('/').filter(function(s) { return s.length; });
      var at = "";
      parts.forEach(function(p) {
        at += '/' + p;
        try {
          FS.mkdir(at);
        } catch (e) {
        }
      });
      FS.mount(IDBFS, {}, dir);
    } catch (e) {
      console.warn('kobaltix: cannot keep ' + dir + ': ' + e);
      wakeUp(0);
      return;
    }
    FS.syncfs(
        true, function(err) {
          if (err) {
            console.warn('kobaltix: the saved files could not be read: ' + err);
            wakeUp(0);
            return;
          }
          var busy = false, again = false;
          var save = function() {
            if (busy) {
              again = true;
              return;
            }
            busy = true;
            FS.syncfs(
                false, function(e) {
                  busy = false;
                  if (e)
                    console.warn('kobaltix: the files could not be saved: ' + e);
                  else
                    Module.kxSaves = (Module.kxSaves || 0) + 1;
                  if (again) {
                    again = false;
                    save();
                  }
                });
          };
          Module.kxSave = save;
          setInterval(save, 1000);
          document.addEventListener(
              'visibilitychange', function() {
                if (document.hidden) save();
              });
          window.addEventListener('pagehide', save);
          wakeUp(1);
        });
  });
});

EM_JS(void, kx_report_ended, (int status), {
  if (window.kxEnded) window.kxEnded(status);
});

}  // namespace

std::string PageQuery() {
  char* q = kx_page_query();
  std::string out = q ? q : "";
  free(q);
  return out;
}

std::string BrowserLanguage() {
  char* l = kx_browser_language();
  std::string out = l ? l : "";
  free(l);
  return out;
}

bool KeepFolder(const std::string& dir) { return kx_keep_folder(dir.c_str()) != 0; }

void ReportEnded(int status) { kx_report_ended(status); }

std::unique_ptr<Platform> Make() {
  auto page = std::make_shared<PageState>();
  auto p = std::make_unique<Platform>();
  p->clock = MakeClock();
  p->events = MakeEvents(page);
  p->video = MakeVideo(page);
  p->keyboard = MakeKeyboard(page);
  p->joysticks = MakeJoysticks();
  p->audio = MakeAudio();
  p->music = MakeMusic(p->events.get());
  p->text = MakeText();
  p->dialogs = MakeDialogs();
  return p;
}

}  // namespace platform::web
