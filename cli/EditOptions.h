#pragma once
// Edit options of mivora-cli, shared by `args` and `convert`:
//   --edit FIELD=VALUE     any field of the edit record by its own name, within
//                          its range (editing/EditFields.h)
//   --trim START-END       seconds or h:m:s on both sides
//   --crop L,T,R,B         the kept rectangle in source pixels
//   --brightness N  --contrast N  --saturation N   (-100..100, 0..200, 0..200)
//   --flip v|h|vh  --effect NAME (sharpen, blur, invert, flip-color, gray, aged-film)
//   --text TEXT  --font FACE  --text-size N  --text-color RRGGBB  --text-alpha N  --text-pos X,Y
//   --picture PNG  --picture-pos X,Y
//   --3d MODE (red-cyan, red-green, red-blue, blue-yellow, interleaved, side-by-side)  --3d-depth N

#include <string>
#include <vector>

#include "editing/EditSettings.h"

namespace mivora::cli {

// Consumes the edit option at args[*index] (and its value), advancing
// *index past them. Returns false and fills `error` for a malformed value;
// `matched` tells whether args[*index] was an edit option at all.
bool ParseEditOption(const std::vector<std::string>& args, size_t* index, EditSettings* edits,
                     bool* matched, std::string* error);

// Fills what the editor would: the font file of the chosen face.
void CompleteEdits(EditSettings* edits);

// True when any group of the record is switched on.
bool HasEdits(const EditSettings& edits);

}  // namespace mivora::cli
