#pragma once
// How a batch writes its outputs: the engine writes into a hidden file beside
// the final one, and the file gets its final name only once it is complete
// and reads back as media. A failed or stopped job thus never leaves a broken
// file under a good name, and a file that was there before is replaced only
// by a finished one.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace mivora {

// A name in the output's folder that nothing has yet: a leading dot (hidden),
// the output's name, a marker with this process's id and a counter, and the
// output's extension last (the engine picks the container by it). Names are
// shortened, never past the system's limit on one name.
std::string PartialOutputPath(const std::string& outputPath);

// The process id in a name PartialOutputPath made; 0 for any other name.
pid_t OwnerOfPartialName(std::string_view name);

// Removes, in `folder`, the unfinished outputs of runs whose process has
// ended (killed before it could remove or rename them): plain files of this
// user only; the files of a process that still runs stay. Returns how many
// went.
int RemovePartialsOfEndedProcesses(const std::string& folder);

// Gives the finished `partialPath` its final name. With `replaceExisting`
// false an output that appeared meanwhile is kept and this fails. False with
// `why` (a sentence) when the file could not be renamed.
bool PublishOutput(const std::string& partialPath, const std::string& outputPath,
                   bool replaceExisting, std::string* why);

// True when libavformat opens the file and finds at least one stream in it;
// else false with `why` (a sentence). `lengthSeconds` (optional) receives
// how long the file plays (the container's duration, else its longest
// stream's), -1 when unknown. Runs in this process, no engine; the library
// is loaded on the first call.
bool IsReadableMedia(const std::string& path, std::string* why, double* lengthSeconds = nullptr);
// Loads the library now (a batch does so beside its first job).
void PreloadMediaReadBack();

}  // namespace mivora
