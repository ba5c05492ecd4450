#include "editing/FontLookup.h"

#include <fontconfig/fontconfig.h>

#include <mutex>

#include "common/Folders.h"

namespace mivora {
namespace {

// fontconfig's configuration is process-wide; its calls here are serialised.
std::mutex g_fontconfigMutex;

std::string MatchFile(const std::string& face) {
  std::string file;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(face.c_str()));
  if (pattern == nullptr) return file;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match != nullptr) {
    FcChar8* path = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr)
      file = reinterpret_cast<const char*>(path);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return FileExists(file) ? file : std::string();
}

std::string AnyFontFile() {
  std::string file;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  if (fonts != nullptr) {
    for (int i = 0; i < fonts->nfont && file.empty(); ++i) {
      FcChar8* path = nullptr;
      if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &path) == FcResultMatch && path &&
          FileExists(reinterpret_cast<const char*>(path)))
        file = reinterpret_cast<const char*>(path);
    }
    FcFontSetDestroy(fonts);
  }
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return file;
}

}  // namespace

std::string FindFontFile(std::string_view face) {
  std::lock_guard<std::mutex> lock(g_fontconfigMutex);
  FcInit();
  // A face name with fontconfig's own syntax characters is matched literally.
  std::string name;
  for (char c : face.empty() ? std::string_view("Arial") : face) {
    if (c == '-' || c == ':' || c == ',' || c == '\\') name += '\\';
    name += c;
  }
  std::string file = MatchFile(name);
  if (file.empty()) file = MatchFile("sans-serif");
  if (file.empty()) file = AnyFontFile();
  // No font at all on the system: the name the engine reports clearly.
  if (file.empty()) file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  return file;
}

}  // namespace mivora
