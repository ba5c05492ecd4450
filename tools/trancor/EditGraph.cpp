#include "tools/trancor/EditGraph.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "editing/FilterEscaping.h"
#include "editing/WatermarkPlacement.h"

namespace mivora::trancor {
namespace {

// Splits at `separator` outside single quotes.
std::vector<std::string> SplitOutsideQuotes(std::string_view text, char separator) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '\'') quoted = !quoted;
    if (c == separator && !quoted) {
      parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  return parts;
}

bool IsInteger(std::string_view text) {
  size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (text.size() == start || text.size() > start + 9) return false;
  for (size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool AllIntegers(const std::vector<std::string>& values, size_t count) {
  if (values.size() != count) return false;
  for (const auto& v : values)
    if (!IsInteger(v)) return false;
  return true;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
    return std::string(value.substr(1, value.size() - 2));
  return std::string(value);
}

// The characters a lutyuv expression of the editor may hold.
bool IsLutExpression(std::string_view args) {
  for (char c : args) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '(' || c == ')' ||
              c == '+' || c == '-' || c == '*' || c == '/' || c == '=' || c == ':' || c == '\'' ||
              c == '.';
    if (!ok) return false;
  }
  return true;
}

struct Translation {
  std::string filter;  // ffmpeg text of one filter, or empty for the picture overlay
  bool labelsOutput = false;  // the segment ended in "[X]"
  bool isPicture = false;
  bool isCrop = false;
  bool isScale = false;
  bool isText = false;
  int width = 0, height = 0;  // crop and scale: the size
  std::string picturePath;
  int x = 0, y = 0;  // text or picture position; crop: left and top edge
  std::string error;
  // Positions in the picture a crop keeps rather than the whole frame.
  int cropLeft = 0, cropTop = 0;

  // Watermarks are kept inside the region the output holds, as the editor
  // draws them (editing/WatermarkPlacement.h).
  std::string Filter() const {
    if (isText)
      return filter + ":x=" + PlaceInsideRegionExpression(x - cropLeft, "w", "text_w") +
             ":y=" + PlaceInsideRegionExpression(y - cropTop, "h", "text_h");
    if (isPicture)
      return "overlay=x=" + PlaceInsideRegionExpression(x - cropLeft, "main_w", "overlay_w") +
             ":y=" + PlaceInsideRegionExpression(y - cropTop, "main_h", "overlay_h");
    return filter;
  }
};

Translation TranslateDrawtext(std::string_view args) {
  Translation t;
  std::string text, font, size = "16", color = "ffffffff", x = "0", y = "0";
  for (const std::string& option : SplitOutsideQuotes(args, ':')) {
    size_t eq = option.find('=');
    if (eq == std::string::npos) {
      t.error = "drawtext option without a value";
      return t;
    }
    std::string key = option.substr(0, eq), value = option.substr(eq + 1);
    if (key == "text") text = DecodeFilterText(Unquote(value));
    else if (key == "fontfile") font = UnescapeFilterPath(Unquote(value));
    else if (key == "fontsize") size = value;
    else if (key == "fontcolor") color = value;
    else if (key == "x") x = value;
    else if (key == "y") y = value;
    else {
      t.error = "unknown drawtext option \"" + key + "\"";
      return t;
    }
  }
  bool colorOk = color.size() == 8 && color.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!IsInteger(size) || !IsInteger(x) || !IsInteger(y) || !colorOk) {
    t.error = "malformed drawtext values";
    return t;
  }
  t.isText = true;
  t.filter = "drawtext=expansion=none:fontfile=" + EscapeGraphValue(font) +
             ":text=" + EscapeGraphValue(text) + ":fontsize=" + size + ":fontcolor=0x" + color;
  t.x = std::atoi(x.c_str());
  t.y = std::atoi(y.c_str());
  return t;
}

Translation TranslatePicture(std::string_view segment) {
  // movie=PATH [name];[LABEL][name] overlay=X:Y
  Translation t;
  t.isPicture = true;
  size_t marker = segment.rfind(" [name];[");
  size_t overlay = segment.rfind("[name] overlay=");
  if (marker == std::string_view::npos || overlay == std::string_view::npos || overlay < marker) {
    t.error = "malformed picture watermark";
    return t;
  }
  t.picturePath = UnescapeFilterPath(segment.substr(6, marker - 6));
  auto position = SplitOutsideQuotes(segment.substr(overlay + 15), ':');
  if (!AllIntegers(position, 2) || t.picturePath.empty()) {
    t.error = "malformed picture watermark";
    return t;
  }
  t.x = std::atoi(position[0].c_str());
  t.y = std::atoi(position[1].c_str());
  return t;
}

Translation TranslateSegment(std::string segment) {
  Translation t;
  if (segment.size() >= 3 && segment.compare(segment.size() - 3, 3, "[X]") == 0) {
    segment.resize(segment.size() - 3);
    t.labelsOutput = true;
  }
  size_t eq = segment.find('=');
  std::string name = segment.substr(0, eq);
  std::string args = eq == std::string::npos ? "" : segment.substr(eq + 1);
  if (name == "vflip" || name == "hflip" || name == "null") {
    if (!args.empty()) t.error = name + " takes no options";
    t.filter = name;
  } else if (name == "lutyuv") {
    if (!IsLutExpression(args)) t.error = "malformed lutyuv expression";
    t.filter = segment;
  } else if (name == "unsharp") {
    // The blur segment's last value reads "7-2": a 7x7 chroma mask with amount
    // -2, like the luma part; written as one token it would sharpen chroma.
    if (args == "7:7:-2:7:7-2") args = "7:7:-2:7:7:-2";
    auto values = SplitOutsideQuotes(args, ':');
    for (const auto& v : values)
      if (v.empty() || v.find_first_not_of("0123456789.-") != std::string::npos)
        t.error = "malformed unsharp values";
    t.filter = "unsharp=" + args;
  } else if (name == "crop" || name == "scale") {
    auto values = SplitOutsideQuotes(args, ':');
    if (!AllIntegers(values, name == "crop" ? 4 : 2)) t.error = "malformed " + name + " values";
    t.filter = segment;
    if (t.error.empty()) {
      t.isCrop = name == "crop";
      t.isScale = name == "scale";
      t.width = std::atoi(values[0].c_str());
      t.height = std::atoi(values[1].c_str());
      if (t.isCrop) t.x = std::atoi(values[2].c_str()), t.y = std::atoi(values[3].c_str());
    }
  } else if (name == "drawtext") {
    Translation text = TranslateDrawtext(args);
    text.labelsOutput = t.labelsOutput;
    return text;
  } else if (name == "movie") {
    Translation picture = TranslatePicture(segment);
    picture.labelsOutput = t.labelsOutput;
    return picture;
  } else {
    t.error = "unsupported filter \"" + name + "\"";
  }
  return t;
}

// Moves the picture `k` columns: output column x shows input column x + k;
// columns with no source become black.
std::string Shift(int k) {
  if (k == 0) return "null";
  int a = std::abs(k);
  std::string crop = "crop=iw-" + std::to_string(a) + ":ih:" + (k > 0 ? std::to_string(a) : "0") + ":0";
  std::string pad = "pad=iw+" + std::to_string(a) + ":ih:" + (k > 0 ? "0" : std::to_string(a)) + ":0:black";
  return crop + "," + pad;
}

// Shows input column x + k at column x, black outside the columns d..w-d-1.
std::string Window(int k, int d) {
  if (d == 0) return "null";
  std::string cropX = std::to_string(k > 0 ? 2 * d : 0);
  return "crop=iw-" + std::to_string(2 * d) + ":ih:" + cropX + ":0,pad=iw+" + std::to_string(2 * d) +
         ":ih:" + std::to_string(d) + ":0:black";
}

// From the planar RGB the 3D modes work in back to 8-bit 4:2:0. Debian's
// ffmpeg converts planar RGB straight to 4:2:0 with columns out of place
// (a black band at columns 155..164 lands at 154..161), through 4:4:4 exactly.
constexpr const char* kBackToYuv = "format=yuv444p,format=yuv420p";

std::string StereoGraph(const std::string& in, const StereoOptions& s, const std::string& out) {
  int depth = s.depth;
  if (s.mode >= 0 && s.mode <= 3) {
    // Anaglyph: one colour from the near view, the others from the far view.
    int d = std::abs(depth);
    int nearShift = depth > 0 ? d : -d;
    static const char* const kNearKeeps[] = {"g=0:b=0", "g=0:b=0", "g=0:b=0", "r=0:g=0"};
    static const char* const kFarKeeps[] = {"r=0", "r=0:b=0", "r=0:g=0", "b=0"};
    return in + "format=gbrp,split[near][far];[near]" + Window(nearShift, d) + ",lutrgb=" +
           kNearKeeps[s.mode] + "[n];[far]" + Window(-nearShift, d) + ",lutrgb=" + kFarKeeps[s.mode] +
           "[f];[n][f]blend=all_mode=addition," + kBackToYuv + out;
  }
  if (s.mode == 4) {
    // Interleaved rows: even rows from the view moved by +depth, odd rows by -depth.
    return in + "format=gbrp,split[even][odd];[even]" + Shift(depth) + "[e];[odd]" + Shift(-depth) +
           "[o];[e][o]blend=all_expr='if(mod(Y\\,2)\\,B\\,A)'," + kBackToYuv + out;
  }
  // Side by side: both halves at half width, moved apart by depth / 2 each.
  int half = depth / 2;
  return in + "format=gbrp,scale=trunc(iw/2):ih:flags=neighbor,split[left][right];[left]" +
         Shift(half) + "[l];[right]" + Shift(-half) + "[r];[l][r]hstack," + kBackToYuv + out;
}

// The chain's first crop, or its end when it has none.
std::vector<Translation>::iterator FirstCrop(std::vector<Translation>& chain) {
  return std::find_if(chain.begin(), chain.end(), [](const Translation& t) { return t.isCrop; });
}

// The editor shows the region its crop band covers, flipped and edited, with
// the watermarks drawn where they sit in that region. The program's chain
// crops last, after the flips and watermarks, which would keep the mirrored
// region instead; so the first crop moves to the front of the chain, and the
// watermarks before it are placed relative to the region it keeps.
void CropFirst(std::vector<Translation>& chain) {
  auto crop = FirstCrop(chain);
  if (crop == chain.end() || crop == chain.begin()) return;
  for (auto it = chain.begin(); it != crop; ++it) {
    if (!it->isText && !it->isPicture) continue;
    it->cropLeft = crop->x;
    it->cropTop = crop->y;
  }
  std::rotate(chain.begin(), crop, crop + 1);
}

// Replaces the program's frame-size scale with the fit of the picture into
// the output frame, at the end of the edits. Nothing changes when the
// source's size is unknown: the chain then scales as it says.
bool FitFrame(std::vector<Translation>& chain, FrameFitRequest fit, OutputFrame* frame) {
  auto scale = std::find_if(chain.begin(), chain.end(), [](const Translation& t) { return t.isScale; });
  if (scale != chain.end() && fit.format.width <= 0) {
    fit.format.width = scale->width;
    fit.format.height = scale->height;
  }
  PictureShape picture = fit.source;
  auto crop = FirstCrop(chain);
  if (crop != chain.end()) picture.width = crop->width, picture.height = crop->height;
  *frame = FitOutputFrame(fit.format, picture);
  if (frame->keepsSource || fit.source.width <= 0 || fit.source.height <= 0) return false;
  if (scale != chain.end()) chain.erase(scale);
  Translation fitting;
  fitting.filter = FitFilters(*frame);
  chain.push_back(fitting);
  return true;
}

// Re-codes the picture to the matrix its output frame implies (see
// FrameFitRequest); `lines` is the output frame's height.
std::optional<colour::ScreenColour> RecodeMatrix(std::vector<Translation>& chain,
                                                 const FrameFitRequest& fit, int lines) {
  if (!fit.sourceColour || lines <= 0) return std::nullopt;
  const colour::ScreenColour to = colour::UnnamedMatrixOf(lines);
  const std::string filter = colour::MatrixConversion(*fit.sourceColour, to);
  if (filter.empty()) return std::nullopt;
  Translation recoding;
  recoding.filter = filter;
  chain.push_back(recoding);
  return to;
}

}  // namespace

std::string FitFilters(const OutputFrame& frame) {
  std::string filters =
      "scale=" + std::to_string(frame.pictureWidth) + ":" + std::to_string(frame.pictureHeight);
  if (frame.HasBars())
    filters += ",pad=" + std::to_string(frame.width) + ":" + std::to_string(frame.height) + ":" +
               std::to_string(frame.pictureLeft) + ":" + std::to_string(frame.pictureTop) + ":black";
  // The pixels' shape gives the frame its display aspect (square for a box),
  // written exactly: the filter otherwise rounds to terms below 100.
  long long num = static_cast<long long>(frame.aspectNum) * frame.height;
  long long den = static_cast<long long>(frame.aspectDen) * frame.width;
  const long long divisor = std::gcd(num, den);
  num /= divisor, den /= divisor;
  filters += ",setsar=" + std::to_string(num) + "/" + std::to_string(den);
  if (std::max(num, den) > 100) filters += ":max=" + std::to_string(std::max(num, den));
  return filters;
}

std::string EscapeGraphValue(std::string_view value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  quoted += '\'';
  std::string escaped;
  for (char c : quoted) {
    if (c == '\\' || c == '\'' || c == '[' || c == ']' || c == ',' || c == ';') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

namespace {

// The chain's segments translated in order; the first failure's reason in
// `error` (and nothing more translated) when one cannot be.
std::vector<Translation> TranslateChain(std::string_view chain, std::string* error) {
  std::vector<Translation> translations;
  if (chain.empty()) return translations;
  for (const std::string& segment : SplitOutsideQuotes(chain, ',')) {
    if (segment.empty()) {
      *error = "empty filter segment";
      return {};
    }
    translations.push_back(TranslateSegment(segment));
    if (!translations.back().error.empty()) {
      *error = translations.back().error;
      return {};
    }
  }
  return translations;
}

// The graph the translations make after `leadingFilters`, ending in the 3D
// mode when there is one; empty when it would leave the picture as it is.
std::string JoinTranslations(const std::vector<Translation>& translations, std::string_view leadingFilters,
                             const std::optional<StereoOptions>& stereo) {
  std::string graph;                    // finished parts, each ending in ';'
  std::string current(leadingFilters);  // the chain being built
  std::string currentInput = "[in]";
  int labelCount = 0;
  auto nextLabel = [&] { return "[v" + std::to_string(labelCount++) + "]"; };
  for (const Translation& t : translations) {
    if (t.isPicture) {
      // The chain so far (or the input itself) goes under the picture.
      std::string under = currentInput;
      if (!current.empty()) {
        under = nextLabel();
        graph += currentInput + current + under + ";";
      }
      std::string picture = nextLabel();
      // "file:" keeps a name with a colon from being read as a protocol.
      graph += "movie=" + EscapeGraphValue("file:" + t.picturePath) + picture + ";";
      currentInput = under + picture;
      current = t.Filter();
      continue;
    }
    if (!current.empty()) current += ",";
    current += t.Filter();
  }
  if (current.empty() && graph.empty() && !stereo) return "";
  if (current.empty()) current = "null";
  if (!stereo) return graph + currentInput + current + "[out]";
  std::string beforeStereo = nextLabel();
  graph += currentInput + current + beforeStereo + ";";
  return graph + StereoGraph(beforeStereo, *stereo, "[out]");
}

}  // namespace

EditGraph BuildEditGraph(std::string_view chain, std::optional<StereoOptions> stereo,
                         std::string_view leadingFilters, const std::optional<FrameFitRequest>& fit) {
  EditGraph result;
  if (stereo && (stereo->mode < 0 || stereo->mode > 5 || stereo->depth < -1000 || stereo->depth > 1000)) {
    result.error = "unsupported 3D mode or depth";
    return result;
  }
  std::vector<Translation> translations = TranslateChain(chain, &result.error);
  if (!result.error.empty()) return result;
  CropFirst(translations);
  if (fit) {
    result.fitted = FitFrame(translations, *fit, &result.frame);
    auto crop = FirstCrop(translations);
    const int lines = result.fitted ? result.frame.height
                      : crop != translations.end() ? crop->height
                                                   : fit->source.height;
    result.recodedTo = RecodeMatrix(translations, *fit, lines);
  }
  result.graph = JoinTranslations(translations, leadingFilters, stereo);
  result.ok = true;
  return result;
}

}  // namespace mivora::trancor
