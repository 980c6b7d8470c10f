#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <map>
#include <tuple>

#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/sdl_platform.h"

namespace platform::sdl {
namespace {

// A face file chosen for a (family, bold, italic) request, and the styles SDL_ttf must fake
// because the file lacks them.
struct Face {
  std::string file;
  int index = 0;
  bool fakeBold = false;
  bool fakeItalic = false;
};

class SdlText : public Text {
 public:
  SdlText() {
    ttfOk_ = TTF_Init() == 0;
    if (!ttfOk_) std::fprintf(stderr, "kobaltix: no font engine: %s\n", TTF_GetError());
    config_ = FcInitLoadConfigAndFonts();
  }
  ~SdlText() override {
    for (auto& [key, font] : fonts_) {
      if (font) TTF_CloseFont(font);
    }
    if (config_) FcConfigDestroy(config_);
    if (ttfOk_) TTF_Quit();
  }

  TextMask Render(const std::string& family, int pixelHeight, bool bold, bool italic,
                  const std::string& utf8) override {
    TextMask mask;
    TTF_Font* font = FontFor(family, pixelHeight, bold, italic);
    if (!font) return mask;
    mask.ascent = TTF_FontAscent(font);
    mask.height = TTF_FontHeight(font);
    if (utf8.empty()) return mask;
    SDL_Surface* rendered =
        TTF_RenderUTF8_Blended(font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
    if (!rendered) return mask;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(rendered);
    if (!argb) return mask;
    mask.width = argb->w;
    mask.height = argb->h;
    mask.coverage.resize(static_cast<size_t>(argb->w) * argb->h);
    SDL_LockSurface(argb);
    for (int y = 0; y < argb->h; ++y) {
      const auto* row = reinterpret_cast<const Uint32*>(static_cast<const uint8_t*>(argb->pixels) +
                                                        static_cast<ptrdiff_t>(y) * argb->pitch);
      for (int x = 0; x < argb->w; ++x) {
        mask.coverage[static_cast<size_t>(y) * argb->w + x] = static_cast<uint8_t>(row[x] >> 24);
      }
    }
    SDL_UnlockSurface(argb);
    SDL_FreeSurface(argb);
    return mask;
  }

  void Measure(const std::string& family, int pixelHeight, bool bold, bool italic,
               const std::string& utf8, int& w, int& h) override {
    w = 0;
    h = 0;
    TTF_Font* font = FontFor(family, pixelHeight, bold, italic);
    if (!font) return;
    h = TTF_FontHeight(font);
    if (!utf8.empty() && TTF_SizeUTF8(font, utf8.c_str(), &w, &h) != 0) w = 0;
  }

 private:
  // The pattern fontconfig matches best for `pattern` (consumed), as a face; false when nothing
  // matched, the face does not cover Cyrillic and `needCyrillic` is set, or `family` is given and
  // the face is a stand-in of another family.
  bool Match(FcPattern* pattern, bool bold, bool italic, bool needCyrillic, Face& out,
             const char* family = nullptr) {
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(config_, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    bool ok = true;
    if (family) {
      ok = false;
      FcChar8* name = nullptr;
      for (int i = 0; !ok && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        ok = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
      }
    }
    if (ok && needCyrillic) {
      FcCharSet* cs = nullptr;
      // Zhe, small a and small ya: the capital, the start and the end of the alphabet.
      ok = FcPatternGetCharSet(match, FC_CHARSET, 0, &cs) == FcResultMatch &&
           FcCharSetHasChar(cs, 0x0416) && FcCharSetHasChar(cs, 0x0430) &&
           FcCharSetHasChar(cs, 0x044F);
    }
    FcChar8* file = nullptr;
    if (ok && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      out.file = reinterpret_cast<const char*>(file);
      int index = 0;
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      out.index = index;
      int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
      FcBool embolden = FcFalse;
      FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(match, FC_SLANT, 0, &slant);
      FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
      // fontconfig reports the asked-for weight for a face it wants emboldened; the file itself
      // is not bold then, so SDL_ttf must do it.
      out.fakeBold = bold && (weight < FC_WEIGHT_DEMIBOLD || embolden);
      out.fakeItalic = italic && slant == FC_SLANT_ROMAN;
    } else {
      ok = false;
    }
    FcPatternDestroy(match);
    return ok;
  }

  // The game's texts are Russian: a family that cannot show them, or is not installed, gives way
  // to look-alikes that can, in order. fontconfig's own stand-in for a missing family (for
  // "Comic Sans MS" often a calligraphic italic) comes only after them.
  Face Resolve(const std::string& family, bool bold, bool italic) {
    Face face;
    if (!config_) return face;
    for (const char* name : {family.c_str(), "Comfortaa", "Fantasque Sans Mono", "DejaVu Sans"}) {
      FcPattern* p = FcPatternCreate();
      FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
      if (Match(p, bold, italic, true, face, name)) return face;
    }
    FcPattern* asked = FcPatternCreate();
    FcPatternAddString(asked, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (Match(asked, bold, italic, true, face)) return face;
    // Any face with Cyrillic, then any face at all.
    FcPattern* p = FcPatternCreate();
    FcCharSet* cs = FcCharSetCreate();
    FcCharSetAddChar(cs, 0x0416);
    FcCharSetAddChar(cs, 0x0430);
    FcPatternAddCharSet(p, FC_CHARSET, cs);
    FcCharSetDestroy(cs);
    if (Match(p, bold, italic, true, face)) return face;
    p = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (p && Match(p, bold, italic, false, face)) return face;
    return Face{};
  }

  TTF_Font* FontFor(const std::string& family, int pixelHeight, bool bold, bool italic) {
    if (!ttfOk_ || pixelHeight <= 0 || pixelHeight > 2000) return nullptr;
    auto faceKey = std::make_tuple(family, bold, italic);
    auto f = faces_.find(faceKey);
    if (f == faces_.end()) f = faces_.emplace(faceKey, Resolve(family, bold, italic)).first;
    const Face& face = f->second;
    if (face.file.empty()) return nullptr;
    auto fontKey =
        std::make_tuple(face.file, face.index, pixelHeight, face.fakeBold, face.fakeItalic);
    auto it = fonts_.find(fontKey);
    if (it != fonts_.end()) return it->second;
    // SDL_ttf sizes are points at 72 dpi, that is pixels of the em square.
    TTF_Font* font = TTF_OpenFontIndex(face.file.c_str(), pixelHeight, face.index);
    if (font) {
      int style = TTF_STYLE_NORMAL;
      if (face.fakeBold) style |= TTF_STYLE_BOLD;
      if (face.fakeItalic) style |= TTF_STYLE_ITALIC;
      TTF_SetFontStyle(font, style);
    }
    fonts_.emplace(fontKey, font);  // a failure is remembered too, not retried every frame
    return font;
  }

  bool ttfOk_ = false;
  FcConfig* config_ = nullptr;
  std::map<std::tuple<std::string, bool, bool>, Face> faces_;
  std::map<std::tuple<std::string, int, int, bool, bool>, TTF_Font*> fonts_;
};

}  // namespace

std::unique_ptr<Text> MakeText() { return std::make_unique<SdlText>(); }

}  // namespace platform::sdl
